#include "window/help_document.h"

#include <cctype>
#include <iterator>
#include <utility>

namespace kelvara {
namespace {

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string Decoded(const std::string& text) {
    static const std::pair<const char*, const char*> kEntities[] = {
        {"&amp;", "&"}, {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&nbsp;", " "}, {"&#39;", "'"}};
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        bool replaced = false;
        if (text[i] == '&')
            for (const auto& [entity, character] : kEntities)
                if (text.compare(i, std::char_traits<char>::length(entity), entity) == 0) {
                    out += character;
                    i += std::char_traits<char>::length(entity);
                    replaced = true;
                    break;
                }
        if (!replaced) out += text[i++];
    }
    return out;
}

// Builds the blocks as the tags open and close.
class Builder {
public:
    HelpDocument document;

    void StartBlock(HelpBlock::Kind kind, int number = 0) {
        EndBlock();
        block_ = HelpBlock{kind, number, {}};
        open_ = true;
        pendingSpace_ = false;
    }
    void EndBlock() {
        if (!open_) return;
        open_ = false;
        while (!block_.runs.empty() && block_.runs.back().text.empty()) block_.runs.pop_back();
        if (!block_.runs.empty() && !block_.runs.back().text.empty() && block_.runs.back().text.back() == ' ')
            block_.runs.back().text.pop_back();
        if (!block_.Text().empty()) document.push_back(std::move(block_));
    }
    // Text outside any block (between tags of a list, say) starts a paragraph when it has words.
    void AddText(const std::string& raw) {
        const std::string text = Decoded(raw);
        for (const char c : text) {
            if (std::isspace(static_cast<unsigned char>(c))) {
                pendingSpace_ = open_ && HasText();
                continue;
            }
            if (!open_) StartBlock(HelpBlock::Kind::Paragraph);
            if (pendingSpace_) Append(' ');
            pendingSpace_ = false;
            Append(c);
        }
    }
    void Cell() {  // a table cell: its text follows the one before, set apart
        if (open_ && HasText()) {
            pendingSpace_ = false;
            Append('\t');
        }
    }
    int bold = 0, italic = 0, code = 0, warning = 0;

private:
    bool HasText() const { return !block_.Text().empty(); }
    void Append(char c) {
        const HelpRun style{"", bold > 0, italic > 0, code > 0, warning > 0};
        if (block_.runs.empty() || block_.runs.back().bold != style.bold || block_.runs.back().italic != style.italic ||
            block_.runs.back().code != style.code || block_.runs.back().warning != style.warning)
            block_.runs.push_back(style);
        block_.runs.back().text += c;
    }

    HelpBlock block_;
    bool open_ = false;
    bool pendingSpace_ = false;
};

}  // namespace

std::string HelpBlock::Text() const {
    std::string text;
    for (const HelpRun& run : runs) text += run.text;
    return text;
}

HelpDocument ParseHelpPage(const std::string& html) {
    Builder builder;
    bool skipping = false;  // inside head, style or script
    bool numbered = false;
    int number = 0;
    std::vector<std::pair<std::string, bool>> warnings;  // open p, div and span: of the warning class?
    std::size_t at = 0;
    while (at < html.size()) {
        const std::size_t open = html.find('<', at);
        if (!skipping) builder.AddText(html.substr(at, open == std::string::npos ? std::string::npos : open - at));
        if (open == std::string::npos) break;
        if (html.compare(open, 4, "<!--") == 0) {
            const std::size_t end = html.find("-->", open);
            at = end == std::string::npos ? html.size() : end + 3;
            continue;
        }
        const std::size_t close = html.find('>', open);
        if (close == std::string::npos) break;
        const std::string tag = html.substr(open + 1, close - open - 1);
        at = close + 1;
        const bool ending = !tag.empty() && tag[0] == '/';
        std::string name = Lower(tag.substr(ending ? 1 : 0, tag.find_first_of(" \t\r\n/", ending ? 1 : 0) - (ending ? 1 : 0)));
        const bool warn = Lower(tag).find("class=\"warn\"") != std::string::npos;
        const bool tagline = Lower(tag).find("class=\"tag\"") != std::string::npos;

        if (name == "head" || name == "style" || name == "script") {
            skipping = !ending;
            continue;
        }
        if (skipping) continue;
        if (name == "b" || name == "strong") {
            builder.bold += ending ? -1 : 1;
        } else if (name == "i" || name == "em") {
            builder.italic += ending ? -1 : 1;
        } else if (name == "code") {
            builder.code += ending ? -1 : 1;
        } else if (name == "p" || name == "div" || name == "span") {
            if (name != "span") {
                builder.EndBlock();
                if (!ending) builder.StartBlock(tagline ? HelpBlock::Kind::Tagline : HelpBlock::Kind::Paragraph);
            }
            // A paragraph or span of the warning class marks its words, however deep.
            if (!ending) {
                warnings.push_back({name, warn});
                builder.warning += warn;
            } else {
                for (auto open = warnings.rbegin(); open != warnings.rend(); ++open)
                    if (open->first == name) {
                        builder.warning -= open->second;
                        warnings.erase(std::next(open).base());
                        break;
                    }
            }
        } else if (name == "h1" || name == "h2" || name == "h3") {
            builder.EndBlock();
            if (!ending) builder.StartBlock(name == "h1" ? HelpBlock::Kind::Title : HelpBlock::Kind::Heading);
        } else if (name == "ol" || name == "ul") {
            builder.EndBlock();
            numbered = name == "ol" && !ending;
            number = 0;
        } else if (name == "li") {
            builder.EndBlock();
            if (!ending) builder.StartBlock(numbered ? HelpBlock::Kind::Numbered : HelpBlock::Kind::Bullet, ++number);
        } else if (name == "tr") {
            builder.EndBlock();
            if (!ending) builder.StartBlock(HelpBlock::Kind::Row);
        } else if (name == "td" || name == "th") {
            if (!ending) builder.Cell();
        } else if (name == "br") {
            builder.AddText(" ");
        } else if (name == "table" || name == "body" || name == "html") {
            builder.EndBlock();
        }
    }
    builder.EndBlock();
    return builder.document;
}

}  // namespace kelvara
