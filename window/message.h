#pragma once
// A message box as data: the core says what to show and the view shows it, modal, and reports
// the button pressed.

#include <string>

namespace kelvara {

// The title of a message box that names no title of its own: the application's.
inline constexpr const char* kApplicationTitle = "Kelvara";

struct Message {
    enum class Buttons { Ok, YesNo };  // Yes is the default of a question
    // The messages and questions the program has always had show no icon; a failure shows the
    // warning sign, so it does not look like news.
    enum class Icon { None, Warning };

    std::string text;
    std::string title;
    Buttons buttons = Buttons::Ok;
    Icon icon = Icon::None;

    static Message Info(std::string text, std::string title = {});
    static Message Failure(std::string text, std::string title = {});
    static Message Question(std::string text, std::string title);
};

}  // namespace kelvara
