#include "studio/project/MediaFilters.h"

namespace zolvex {
namespace studio {

const char kMediaFileChoices[] =
    "(all media files)|*.mpg;*.mpeg;*.avi;*.wmv;*.asf;*.vob;*.mov;*.qt;*.mp3;*.wav;*.wma;*.jpg;*.jpeg;*.gif;*.bmp;"
    "*.png;*.tga;*.tif;*.tiff;*.pcx|(*.mpg)|*.mpg|(*.mpeg)|*.mpeg|(*.avi)|*.avi|(*.wmv)|*.wmv|(*.asf)|*.asf|(*.vob)|"
    "*.vob|(*.mov)|*.mov|(*.qt)|*.qt|(*.mp3)|*.mp3|(*.wav)|*.wav|(*.wma)|*.wma|(*.jpg)|*.jpg|(*.jpeg)|*.jpeg|(*.gif)|"
    "*.gif|(*.bmp)|*.bmp|(*.png)|*.png|(*.tga)|*.tga|(*.tif)|*.tif|(*.tiff)|*.tiff|(*.pcx)|*.pcx||";

const char kPictureFileChoices[] =
    "(all picture files)|*.jpg;*.jpeg;*.gif;*.bmp;*.png;*.tga;*.tif;*.tiff;*.pcx;\t\t(*.jpg)|*.jpg|\t\t(*.jpeg)|*.jpeg|"
    "\t\t(*.gif)|*.gif|\t\t(*.bmp)|*.bmp|\t\t(*.png)|*.png|\t\t(*.tga)|*.tga|\t\t(*.tif)|*.tif|\t\t(*.tiff)|*.tiff|"
    "\t\t(*.pcx)|*.pcx||";

std::vector<FileChoice> ReadFileChoices(const std::string& text)
{
    std::vector<FileChoice> choices;
    std::string token;
    auto take = [&] {
        const size_t first = token.find_first_not_of(" \t");
        const size_t last = token.find_last_not_of(" \t");
        const std::string t = first == std::string::npos ? std::string() : token.substr(first, last - first + 1);
        token.clear();
        if (t.size() > 2 && t.front() == '(' && t.back() == ')')
            choices.push_back({t, {}});
        else if (t.size() > 2 && t.compare(0, 2, "*.") == 0 && !choices.empty())
            choices.back().patterns.push_back(t);
    };
    for (char c : text) {
        if (c == '|' || c == ';')
            take();
        else
            token += c;
    }
    take();
    return choices;
}

}  // namespace studio
}  // namespace zolvex
