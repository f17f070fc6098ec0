#include "window/command_messages.h"

#include <string>

namespace kelvara {
namespace {

std::string Count(std::int64_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::string Bytes(std::uint64_t count) { return std::to_string(count) + " bytes"; }

std::string LeafName(const std::string& path) { return path.substr(path.find_last_of('\\') + 1); }

// Entries saved in part or not at all by their nature: photos that are incomplete, entries inside
// other photos, entries that are not photos; and files that took another name or were there.
std::optional<std::string> SaveNotes(const SaveReport& report) {
    std::vector<std::string> notes;
    if (report.incomplete > 0) {
        std::string names;
        for (const std::string& name : report.firstIncomplete) names += (names.empty() ? "" : ", ") + name;
        const auto more = report.incomplete - static_cast<std::int64_t>(report.firstIncomplete.size());
        if (more > 0) names += " and " + std::to_string(more) + " more";
        notes.push_back(report.incomplete == 1
                            ? names + " is incomplete: its data break off where the card holds something else (the "
                                      "rest was written over, or lies elsewhere on the card). It was saved as far as it "
                                      "holds together."
                            : Count(report.incomplete, "photo", "photos") +
                                  " are incomplete: their data break off where the card holds something else (the rest "
                                  "was written over, or lies elsewhere on the card). Each was saved as far as it holds "
                                  "together: " + names + ".");
    }
    if (report.reassembled > 0)
        notes.push_back(Count(report.reassembled, "photo was", "photos were") +
                        " put back together from pieces found apart on the card, each checked to its end.");
    if (report.otherNames > 0)
        notes.push_back(Count(report.otherNames, "photo was", "photos were") +
                        " saved under another name, such as Image001 (2).JPG: the folder held other files under " +
                        (report.otherNames == 1 ? "its own name" : "their own names") + ", and those were kept.");
    if (report.alreadyThere > 0)
        notes.push_back(Count(report.alreadyThere, "photo was", "photos were") +
                        " in the folder already, byte for byte, and " + (report.alreadyThere == 1 ? "was" : "were") +
                        " not written again.");
    if (report.inside > 0)
        notes.push_back(Count(report.inside, "entry lies", "entries lie") +
                        " inside other photos (a thumbnail or preview a photo carries, or the data of a clip) and " +
                        (report.inside == 1 ? "was" : "were") + " not saved on " + (report.inside == 1 ? "its" : "their") +
                        " own.");
    if (report.notPhotos > 0)
        notes.push_back(Count(report.notPhotos, "entry is not a photo", "entries are not photos") +
                        ": nothing of a picture follows " + (report.notPhotos == 1 ? "its" : "their") +
                        " signature, so " + (report.notPhotos == 1 ? "it was" : "they were") + " not saved.");
    if (notes.empty()) return std::nullopt;
    std::string text;
    for (const std::string& note : notes) text += (text.empty() ? "" : "\n\n") + note;
    return text;
}

std::optional<std::string> WipeShortfall(const WipeReport& report) {
    std::vector<std::string> problems;
    if (!report.listed)
        problems.push_back("The root folder " + report.drive + " could not be read, so no file was deleted: " +
                           report.listFailure);
    if (report.deleteFailed > 0)
        problems.push_back(std::to_string(report.deleteFailed) + (report.deleteFailed == 1 ? " file" : " files") +
                           " in the root folder could not be deleted (" + report.firstDeleteFailure + ")");
    if (!report.createFailure.empty())
        problems.push_back("Wipe.img could not be created, so the free space was not overwritten: " +
                           report.createFailure);
    if (report.stopped) problems.push_back("The wipe was stopped at your request before the free space was filled.");
    if (report.fillShort) {
        const std::string measure =
            report.freeBytes ? "only " + Bytes(report.written) + " of the " + Bytes(*report.freeBytes) + " free were overwritten"
                             : "the writing stopped after " + Bytes(report.written);
        std::string problem = "The free space was not wholly overwritten: " + measure + ".";
        if (!report.fillFailure.empty()) problem += " " + report.fillFailure;
        problems.push_back(problem);
    }
    if (!report.closeFailure.empty()) problems.push_back("Wipe.img could not be closed: " + report.closeFailure);
    if (problems.empty()) return std::nullopt;
    std::string text = "The wipe of " + report.drive + " is not complete.";
    for (const std::string& problem : problems) text += "\n\n" + problem;
    return text;
}

}  // namespace

std::vector<Message> ScanEndMessages(const ScanReport& report) {
    std::vector<Message> messages;
    for (const ScanMessage& message : ScanMessages(report))
        messages.push_back(message.summary ? Message::Info(message.text, "Scan Complete")
                                           : Message::Failure(message.text, "Kelvara"));
    return messages;
}

std::optional<Message> ScanUnreadableMessage(const ScanReport& report) {
    if (report.unreadable.empty()) return std::nullopt;
    return Message::Failure(
        UnreadableText(report.unreadable) + "\nKelvara read them as zeros: a photo that starts there is not listed.",
        "Kelvara");
}

std::vector<Message> SaveEndMessages(const SaveReport& report) {
    if (!report.refused.empty()) return {Message::Failure(report.refused, "Kelvara")};
    std::vector<Message> messages;
    const auto shortfall = SaveShortfall(report);
    const auto notes = SaveNotes(report);
    if (shortfall || notes) {
        const std::string text = shortfall && notes ? *shortfall + "\n\n" + *notes : shortfall ? *shortfall : *notes;
        // Photos lost or cut short are a warning; entries that were never photos of their own are news.
        messages.push_back(shortfall || report.incomplete > 0 ? Message::Failure(text, "Kelvara")
                                                              : Message::Info(text, "Kelvara"));
    }
    if (!report.unreadable.empty())
        messages.push_back(Message::Failure(UnreadableText(report.unreadable, report.zeroFilled), "Kelvara"));
    return messages;
}

std::optional<Message> ImageEndMessage(const ImageReport& report) {
    std::string text = report.complete ? "" : report.failure;
    if (!report.complete && report.created) text += "\n\n" + IncompleteImageText(report, report.path);
    if (report.created && !report.unreadable.empty())
        text += (text.empty() ? "" : "\n\n") + UnreadableText(report.unreadable, {{LeafName(report.path), report.unreadable}});
    if (text.empty()) return std::nullopt;
    return Message::Failure(text, "Make Image");
}

std::optional<Message> WipeEndMessage(const WipeReport& report) {
    if (const auto shortfall = WipeShortfall(report)) return Message::Failure(*shortfall, "Disk Wipe");
    return std::nullopt;
}

}  // namespace kelvara
