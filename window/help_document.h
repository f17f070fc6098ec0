#pragma once
// The help page as plain blocks of text, for a window whose browser cannot show pages: the same
// words as the page, in the same order, with its headings, lists and emphasis.

#include <string>
#include <vector>

namespace kelvara {

struct HelpRun {
    std::string text;
    bool bold = false;
    bool italic = false;
    bool code = false;
    bool warning = false;
};

struct HelpBlock {
    enum class Kind { Title, Tagline, Heading, Paragraph, Bullet, Numbered, Row };  // Tagline: the line under the title
    Kind kind = Kind::Paragraph;
    int number = 0;  // of a Numbered item, from 1
    std::vector<HelpRun> runs;
    std::string Text() const;  // the runs' text together
};

using HelpDocument = std::vector<HelpBlock>;

// Reads the page's HTML: headings, the tag line, paragraphs, list items and table rows become blocks; b, i,
// code and the warning class become runs; pictures, styles and the head are left out. White
// space is collapsed as a browser collapses it; the few entities the page uses are decoded.
HelpDocument ParseHelpPage(const std::string& html);

}  // namespace kelvara
