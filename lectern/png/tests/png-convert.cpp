// The test host of the PNG codec.
//
//   png-convert IN.png OUT.pam            writes IN's pixels as a PAM file (RGB_ALPHA, 8 bits)
//   png-convert --resave IN.png OUT.png   loads IN and saves it with the default settings
//
// The pixels are those TPngPicture holds: palettes expanded, 16-bit samples reduced to their high
// byte, transparency applied as alpha (the alpha plane, the palette's values, or 0 for the
// transparent colour). Errors go to standard error as "Class: message", with exit code 1.
#include "PngTestSupport.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

int Run(int argc, char** argv)
{
    const bool resave = argc == 4 && std::strcmp(argv[1], "--resave") == 0;
    if (!resave && argc != 3) {
        std::fprintf(stderr, "usage: png-convert IN.png OUT.pam | png-convert --resave IN.png OUT.png\n");
        return 2;
    }
    const std::string in = argv[resave ? 2 : 1], out = argv[resave ? 3 : 2];
    TPngPicture picture;
    picture.LoadFromFile(in);
    if (resave) {
        picture.SaveToFile(out);
        return 0;
    }
    const std::vector<uint8_t> pixels = pngtest::RgbaPixels(picture);
    const std::string head = "P7\nWIDTH " + std::to_string(picture.Width()) + "\nHEIGHT " +
                             std::to_string(picture.Height()) +
                             "\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
    TFileStream file(out, fmCreate);
    file.WriteBuffer(head.data(), int64_t(head.size()));
    file.WriteBuffer(pixels.data(), int64_t(pixels.size()));
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    PngPictureInitialize();
    int code = 1;
    try {
        code = Run(argc, argv);
    } catch (const Exception& e) {
        std::fprintf(stderr, "%s: %s\n", e.ClassName(), e.Message().c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
    }
    PngPictureFinalize();
    return code;
}
