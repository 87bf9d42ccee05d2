// Writes a small seed corpus for the ".arf" reader fuzzer into a folder: valid files
// of both versions, shared pictures, guide points, zero-area frames, and two effects
// back to back as a library container holds them.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "filter/animation/AnimationFile.h"

namespace {

typedef std::vector<unsigned char> Bytes;

void Int(Bytes& b, int32_t v)
{
    for (int k = 0; k < 4; ++k)
        b.push_back(uint8_t(uint32_t(v) >> (8 * k)));
}

void Float(Bytes& b, float f)
{
    int32_t v;
    std::memcpy(&v, &f, 4);
    Int(b, v);
}

void Text(Bytes& b, const char* s, size_t n)
{
    const size_t at = b.size();
    b.resize(at + n);
    std::strncpy(reinterpret_cast<char*>(&b[at]), s, n);
}

void Frame(Bytes& b, int w, int h)
{
    Int(b, w);
    Int(b, h);
    for (int k = 0; k < w * h * 4; ++k)
        b.push_back(uint8_t(k * 13));
}

Bytes Version1()
{
    Bytes b;
    Text(b, ANIMATION_VERSION_1, 20);
    for (int k = 0; k < 16; ++k)
        b.push_back(uint8_t(0xA0 + k));
    Text(b, "Snow", 260);
    Text(b, "Snow", 260);
    for (int v : {30, 10, 200, 12, 10})
        Int(b, v);
    Float(b, 0.5f);
    Float(b, 1.0f);
    Float(b, 1.5f);
    for (int v : {30, 1, 5, 10})
        Int(b, v);
    for (int j = 0; j < 10; ++j)
        Int(b, j + 1);
    Int(b, 2);
    Int(b, 2);
    Frame(b, 2, 2);
    Frame(b, 1, 3);
    Int(b, 3);
    for (int k = 0; k < 6; ++k)
        Int(b, 40 * k);
    Int(b, 1);
    Frame(b, 0, 0);
    Int(b, 0);
    return b;
}

tagROMANCE_EFFECT2* Version2(int symbols)
{
    tagROMANCE_EFFECT2* e = NewAnimationEffect2();
    e->guidEffect = GUID{0x01020304, 0x0506, 0x4708, {0x89, 1, 2, 3, 4, 5, 6, 7}};
    for (int i = 0; i < symbols; ++i) {
        tagROMANCE_SYMBOL* s = new tagROMANCE_SYMBOL{200, 0, i == 1, 12, 12, 0.5f, -0.5f, 1, 0.01f, 1, 180, 1};
        s->fOriginX = s->fOriginY = 0.5f;
        s->nImageSource = i == 2 ? 0 : -1;
        s->nMotion[0] = i + 1;
        e->pSymbols->Add(s);
        tagROMANCE_ACTOR* a = NewAnimationActor();
        const unsigned char px[3 * 2 * 4] = {10, 20, 30, 255, 1, 2, 3, 128};
        for (int k = 0; i != 2 && k <= i; ++k)
            AddActorFrame(a, 3 - k, 2, px);
        for (int k = 0; k < 4 * i; ++k)
            a->pGuidePoints->Add(tagPOINT{20 * k, 15 * k});
        a->nGuidePoints = a->pGuidePoints->GetSize();
        e->pActors->Add(a);
    }
    e->nSymbols = symbols;
    return e;
}

Bytes Load(const std::string& path)
{
    Bytes b;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        int c;
        while ((c = std::fgetc(f)) != EOF)
            b.push_back(uint8_t(c));
        std::fclose(f);
    }
    return b;
}

bool Save(const std::string& path, const Bytes& b)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    const bool ok = f && std::fwrite(b.data(), 1, b.size(), f) == b.size();
    return f && std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: arf_seeds <folder>\n");
        return 2;
    }
    const std::string dir = argv[1];
    bool ok = true;
    for (int symbols : {1, 3}) {
        tagROMANCE_EFFECT2* e = Version2(symbols);
        ok = WriteAnimationEffect(e, (dir + "/v2-" + std::to_string(symbols)).c_str()) && ok;
        FreeAnimationEffect(e);
    }
    const Bytes v1 = Version1();
    ok = Save(dir + "/v1.arf", v1) && ok;
    Bytes both = Load(dir + "/v2-3.arf");
    both.insert(both.end(), v1.begin(), v1.end());
    ok = Save(dir + "/container.bin", both) && ok;
    if (!ok)
        std::fprintf(stderr, "arf_seeds: cannot write the seeds into %s\n", dir.c_str());
    return ok ? 0 : 1;
}
