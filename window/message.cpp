#include "window/message.h"

#include <utility>

namespace kelvara {
namespace {

std::string TitleOrOwn(std::string title) { return title.empty() ? kApplicationTitle : std::move(title); }

}  // namespace

Message Message::Info(std::string text, std::string title) {
    return {std::move(text), TitleOrOwn(std::move(title)), Buttons::Ok, Icon::None};
}

Message Message::Failure(std::string text, std::string title) {
    return {std::move(text), TitleOrOwn(std::move(title)), Buttons::Ok, Icon::Warning};
}

Message Message::Question(std::string text, std::string title) {
    return {std::move(text), TitleOrOwn(std::move(title)), Buttons::YesNo, Icon::None};
}

}  // namespace kelvara
