// The same city through Mesa's llvmpipe (OSMesa), fixed-function OpenGL:
// the same matrices (with clip z moved from [0, w] to [-w, w], and the
// picture moved by half a pixel: Direct3D 7 puts pixel centres on whole
// coordinates, OpenGL on halves), light, material, texture, filters, depth.
#include <GL/gl.h>
#include <GL/osmesa.h>

#include <cstring>
#include <vector>

#include "renderers.h"

namespace bench {
namespace {

class Mesa final : public Renderer {
public:
    Mesa(const City& city, const Target& target, std::string* note) : city_(city), target_(target) {
        const size_t pixels = (size_t)target.width * target.height;
        if (target.colourBits == 16) ctx_ = OSMesaCreateContextExt(OSMESA_RGB_565, target.depthBits, 0, 0, nullptr);
        if (ctx_) {
            pixels_.resize(pixels * 2);
            type_ = GL_UNSIGNED_SHORT_5_6_5;
            *note = "RGB565";
        } else {
            // BGRA bytes are XRGB8888 words on a little-endian machine, as ours.
            ctx_ = OSMesaCreateContextExt(OSMESA_BGRA, target.depthBits, 0, 0, nullptr);
            pixels_.resize(pixels * 4);
            type_ = GL_UNSIGNED_BYTE;
            *note = target.colourBits == 16 ? "BGRA8888 (no RGB565 context)" : "BGRA8888";
        }
        if (!ctx_ || !OSMesaMakeCurrent(ctx_, pixels_.data(), type_, target.width, target.height)) {
            ok_ = false;
            return;
        }
        OSMesaPixelStore(OSMESA_Y_UP, 0);  // rows top to bottom, as ours
        glViewport(0, 0, target.width, target.height);
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LEQUAL);
        glEnable(GL_CULL_FACE);
        // Same clip coordinates and picture orientation as D3D: its
        // clockwise front faces stay clockwise.
        glFrontFace(GL_CW);
        glCullFace(GL_BACK);
        glShadeModel(GL_SMOOTH);

        D3DMATRIX zfix{};
        zfix._11 = zfix._22 = zfix._44 = 1;
        zfix._33 = 2;
        zfix._43 = -1;
        // Direct3D's pixel (i, j) is centred on (i, j) of its viewport, with y
        // down; OpenGL's on (i + 0.5, j + 0.5) with y up (rows stored top to
        // bottom here). Half a pixel right and half a pixel down in clip
        // space lands D3D's centres on OpenGL's.
        zfix._41 = 1.0f / target.width;
        zfix._42 = -1.0f / target.height;
        D3DMATRIX proj = Multiply(city.projection, zfix);
        glMatrixMode(GL_PROJECTION);
        glLoadMatrixf(&proj._11);
        glMatrixMode(GL_MODELVIEW);

        glEnable(GL_LIGHTING);
        glEnable(GL_LIGHT0);
        DWORD a = city.ambient;
        float global[4] = {((a >> 16) & 255) / 255.0f, ((a >> 8) & 255) / 255.0f, (a & 255) / 255.0f, 1};
        glLightModelfv(GL_LIGHT_MODEL_AMBIENT, global);
        const D3DLIGHT7& l = city.light;
        float diffuse[4] = {l.dcvDiffuse.r, l.dcvDiffuse.g, l.dcvDiffuse.b, 1};
        float ambient[4] = {l.dcvAmbient.r, l.dcvAmbient.g, l.dcvAmbient.b, 1};
        float none[4] = {0, 0, 0, 1};
        glLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse);
        glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
        glLightfv(GL_LIGHT0, GL_SPECULAR, none);
        const D3DMATERIAL7& m = city.material;
        float md[4] = {m.diffuse.r, m.diffuse.g, m.diffuse.b, m.diffuse.a};
        float ma[4] = {m.ambient.r, m.ambient.g, m.ambient.b, m.ambient.a};
        glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, md);
        glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, ma);
        glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, none);
        glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, none);

        glEnable(GL_TEXTURE_2D);
        glGenTextures(1, &texture_);
        glBindTexture(GL_TEXTURE_2D, texture_);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 2);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, city.textureSize, city.textureSize, 0, GL_RGB,
                     GL_UNSIGNED_SHORT_5_6_5, city.texture.data());
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
        glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);

        glEnableClientState(GL_VERTEX_ARRAY);
        glEnableClientState(GL_NORMAL_ARRAY);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glClearColor(0x30 / 255.0f, 0x40 / 255.0f, 0x60 / 255.0f, 1);
        glClearDepth(1.0);
        ok_ = glGetError() == GL_NO_ERROR;
    }
    ~Mesa() override {
        if (ctx_) OSMesaDestroyContext(ctx_);
    }
    bool Ok() const override { return ok_; }

    void Frame(int frame) override {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        D3DMATRIX view = ViewForFrame(frame);
        glLoadMatrixf(&view._11);
        // Position w = 0: a direction towards the light, in world space (the
        // modelview holds only the view, as D3D's world is the identity).
        const D3DVECTOR& d = city_.light.dvDirection;
        float toLight[4] = {-d.x, -d.y, -d.z, 0};
        glLightfv(GL_LIGHT0, GL_POSITION, toLight);
        for (const Mesh& m : city_.meshes) {
            const Vertex* v = m.vertices.data();
            glVertexPointer(3, GL_FLOAT, sizeof(Vertex), &v->x);
            glNormalPointer(GL_FLOAT, sizeof(Vertex), &v->nx);
            glTexCoordPointer(2, GL_FLOAT, sizeof(Vertex), &v->u);
            glDrawElements(GL_TRIANGLES, (GLsizei)m.indices.size(), GL_UNSIGNED_SHORT, m.indices.data());
        }
        glFinish();
    }

    Picture Read() const override {
        Picture pic{target_.width, target_.height, {}};
        const size_t n = (size_t)pic.width * pic.height;
        pic.rgb.resize(n * 3);
        for (size_t i = 0; i < n; ++i) {
            uint8_t* o = &pic.rgb[i * 3];
            if (type_ == GL_UNSIGNED_SHORT_5_6_5) {
                uint16_t p;
                std::memcpy(&p, &pixels_[i * 2], 2);
                o[0] = (uint8_t)((p >> 11) << 3), o[1] = (uint8_t)(((p >> 5) & 63) << 2), o[2] = (uint8_t)((p & 31) << 3);
            } else {
                o[0] = pixels_[i * 4 + 2], o[1] = pixels_[i * 4 + 1], o[2] = pixels_[i * 4];
            }
        }
        return pic;
    }

private:
    const City& city_;
    Target target_;
    OSMesaContext ctx_ = nullptr;
    std::vector<uint8_t> pixels_;
    GLenum type_ = GL_UNSIGNED_BYTE;
    GLuint texture_ = 0;
    bool ok_ = true;
};

}  // namespace

Renderer* MakeMesa(const City& city, const Target& target, std::string* note) {
    return new Mesa(city, target, note);
}

}  // namespace bench
