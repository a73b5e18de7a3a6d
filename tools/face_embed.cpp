// Build-time tool: writes the face the show's text is drawn in into a C++
// source file (argument 1) that the desktop programs are built with. Without a face the build stops: a program
// that would draw its cards blank, or publish blank cards as a capture,
// must not be made.
#include "tools/find_face.h"

#include <stdio.h>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: face_embed OUTPUT.cpp\n");
        return 2;
    }
    std::string file;
    int index = 0;
    std::vector<unsigned char> bytes;
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    if (FT_Init_FreeType(&library) == 0)
        face = FindShowFace(library, &file, &index);
    if (face != nullptr) {
        FT_Done_Face(face);
        FILE* in = fopen(file.c_str(), "rb");
        if (in == nullptr) {
            perror(file.c_str());
            return 1;
        }
        for (int c = fgetc(in); c != EOF; c = fgetc(in))
            bytes.push_back((unsigned char)c);
        bool failed = ferror(in) != 0;
        fclose(in);
        if (failed) {
            fprintf(stderr, "face_embed: cannot read %s\n", file.c_str());
            return 1;
        }
    } else {
        fprintf(stderr, "face_embed: " SHOW_FACE_MISSING "\n");
        if (library != nullptr)
            FT_Done_FreeType(library);
        return 1;
    }
    if (library != nullptr)
        FT_Done_FreeType(library);

    FILE* out = fopen(argv[1], "w");
    if (out == nullptr) {
        perror(argv[1]);
        return 1;
    }
    fprintf(out, "// Generated at build time by face_embed from %s. Do not edit.\n", file.c_str());
    fprintf(out, "#include \"platform/freetype/show_face.h\"\n\n");
    fprintf(out, "const size_t showFaceSize = %zu;\nconst int showFaceIndex = %d;\n", bytes.size(), index);
    fprintf(out, "const unsigned char showFaceData[%zu] = {", bytes.size());
    for (size_t i = 0; i < bytes.size(); i++)
        fprintf(out, "%s%u,", i % 24 == 0 ? "\n    " : "", bytes[i]);
    fprintf(out, "\n};\n");
    if (fclose(out) != 0) {
        perror(argv[1]);
        return 1;
    }
    return 0;
}
