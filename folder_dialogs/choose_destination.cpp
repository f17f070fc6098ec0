#include "folder_dialogs/choose_destination.h"

#include <QPointer>

#include "folder_dialogs/yield_until.h"

namespace kelvara {

std::string ChooseDestinationFolder(Platform& platform, std::string& Folder, bool& ffdone,
                                    const std::function<void()>& yield, QWidget* parent) {
    QPointer<SaveFolder> dialog(new SaveFolder(platform, Folder, ffdone, parent));
    dialog->show();
    YieldUntil([&] { return ffdone || !dialog; }, yield);
    // A dialog that went away without an answer was not an OK.
    if (!ffdone) Folder = kNoFolder;
    ffdone = false;
    return Folder;
}

}  // namespace kelvara
