#include "window_win32/rich_text.h"

#include <cstdio>

namespace kelvara::win32 {
namespace {

// Text as RTF takes it: its own marks escaped, characters outside ASCII by their code-page byte.
std::string Escaped(const std::string& text) {
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\\' || c == '{' || c == '}') {
            out += '\\';
            out += c;
        } else if (c == '\t') {
            out += "\\tab ";
        } else if (byte >= 0x80) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\'%02x", byte);
            out += hex;
        } else {
            out += c;
        }
    }
    return out;
}

std::string Runs(const HelpBlock& block) {
    std::string out;
    for (const HelpRun& run : block.runs) {
        std::string style;
        if (run.bold || run.warning) style += "\\b";
        if (run.italic) style += "\\i";
        if (run.code) style += "\\f1";
        if (run.warning) style += "\\cf2";
        // A space ends the last control word; without one it would be the text's own.
        out += '{' + style + (style.empty() ? "" : " ") + Escaped(run.text) + '}';
    }
    return out;
}

}  // namespace

std::string RichText(const HelpDocument& document) {
    // Tahoma and Courier New, the page's dark blue, its warning red and its tag line's blue; sizes in
    // half points.
    std::string rtf =
        "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fswiss Tahoma;}{\\f1\\fmodern Courier New;}}"
        "{\\colortbl;\\red11\\green42\\blue102;\\red163\\green21\\blue12;\\red31\\green95\\blue184;}\\viewkind4\\uc1\\f0\\fs18 ";
    for (const HelpBlock& block : document) {
        // Each block from plain text: the control's own font is the system's bold one, which a
        // first block that sets no weight would otherwise keep.
        rtf += "\\pard\\plain\\f0";
        switch (block.kind) {
            // Indents in twips: a margin of 180 all round, lists and rows further in.
            case HelpBlock::Kind::Title: rtf += "\\li180\\ri180\\sa60\\fs30\\b\\cf1 "; break;
            case HelpBlock::Kind::Tagline: rtf += "\\li180\\ri180\\sa180\\fs18\\cf3 "; break;
            case HelpBlock::Kind::Heading: rtf += "\\li180\\ri180\\sb200\\sa60\\fs22\\b\\cf1 "; break;
            case HelpBlock::Kind::Paragraph: rtf += "\\li180\\ri180\\sa120\\fs18 "; break;
            case HelpBlock::Kind::Bullet: rtf += "\\li540\\ri180\\fi-240\\sa40\\fs18 \\bullet\\tab "; break;
            case HelpBlock::Kind::Numbered:
                rtf += "\\li540\\ri180\\fi-240\\sa40\\fs18 " + std::to_string(block.number) + ".\\tab ";
                break;
            case HelpBlock::Kind::Row: rtf += "\\li420\\ri180\\tx2000\\sa40\\fs18 "; break;
        }
        rtf += Runs(block) + "\\b0\\cf0\\par\n";
    }
    return rtf + "}";
}

}  // namespace kelvara::win32
