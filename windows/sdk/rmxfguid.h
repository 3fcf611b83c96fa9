// Template identifiers of the retained-mode X-file templates. mingw-w64 has
// no rmxfguid.h, but its dxguid library defines every one of them.
#pragma once

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

extern const GUID TID_D3DRMInfo;
extern const GUID TID_D3DRMMesh;
extern const GUID TID_D3DRMVector;
extern const GUID TID_D3DRMMeshFace;
extern const GUID TID_D3DRMMaterial;
extern const GUID TID_D3DRMMaterialArray;
extern const GUID TID_D3DRMFrame;
extern const GUID TID_D3DRMFrameTransformMatrix;
extern const GUID TID_D3DRMMeshMaterialList;
extern const GUID TID_D3DRMMeshTextureCoords;
extern const GUID TID_D3DRMMeshNormals;
extern const GUID TID_D3DRMCoords2d;
extern const GUID TID_D3DRMMatrix4x4;
extern const GUID TID_D3DRMAnimation;
extern const GUID TID_D3DRMAnimationSet;
extern const GUID TID_D3DRMAnimationKey;
extern const GUID TID_D3DRMFloatKeys;
extern const GUID TID_D3DRMMaterialAmbientColor;
extern const GUID TID_D3DRMMaterialDiffuseColor;
extern const GUID TID_D3DRMMaterialSpecularColor;
extern const GUID TID_D3DRMMaterialEmissiveColor;
extern const GUID TID_D3DRMMaterialPower;
extern const GUID TID_D3DRMColorRGBA;
extern const GUID TID_D3DRMColorRGB;
extern const GUID TID_D3DRMGuid;
extern const GUID TID_D3DRMTextureFilename;
extern const GUID TID_D3DRMTextureReference;
extern const GUID TID_D3DRMIndexedColor;
extern const GUID TID_D3DRMMeshVertexColors;
extern const GUID TID_D3DRMMaterialWrap;
extern const GUID TID_D3DRMBoolean;
extern const GUID TID_D3DRMMeshFaceWraps;
extern const GUID TID_D3DRMBoolean2d;
extern const GUID TID_D3DRMTimedFloatKeys;
extern const GUID TID_D3DRMAnimationOptions;
extern const GUID TID_D3DRMFramePosition;
extern const GUID TID_D3DRMFrameVelocity;
extern const GUID TID_D3DRMFrameRotation;
extern const GUID TID_D3DRMLight;
extern const GUID TID_D3DRMCamera;
extern const GUID TID_D3DRMAppData;
extern const GUID TID_D3DRMLightUmbra;
extern const GUID TID_D3DRMLightRange;
extern const GUID TID_D3DRMLightPenumbra;
extern const GUID TID_D3DRMLightAttenuation;
extern const GUID TID_D3DRMInlineData;
extern const GUID TID_D3DRMUrl;
extern const GUID TID_D3DRMProgressiveMesh;
extern const GUID TID_D3DRMExternalVisual;
extern const GUID TID_D3DRMStringProperty;
extern const GUID TID_D3DRMPropertyBag;
extern const GUID TID_D3DRMRightHanded;

#ifdef __cplusplus
}
#endif
