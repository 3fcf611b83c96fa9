# Reference decoder for the BMP tests: writes PATH.rgba (raw RGBA rows, top row
# first) for every PATH given, or PATH.err when Pillow refuses the file.
import sys
from PIL import Image

for path in sys.argv[1:]:
    try:
        with Image.open(path) as im:
            data = im.convert("RGBA").tobytes()
            w, h = im.size
        with open(path + ".rgba", "wb") as f:
            f.write(w.to_bytes(4, "little") + h.to_bytes(4, "little") + data)
    except Exception as e:  # noqa: BLE001 - any refusal is reported to the test
        with open(path + ".err", "w") as f:
            f.write(str(e))
