#pragma once

#include "Media/HelperLauncher.h"

#include <QString>

namespace orlet {

// Starts the helper host "orlet-media" with the path of "libOrletMedia.so", both in one folder,
// as a child process with piped standard input and output.
class QtHelperLauncher : public HelperLauncher {
public:
    explicit QtHelperLauncher(QString folder);

    // "share/orlet/OrletMedia" next to the folder of the running program.
    static QString defaultFolder();

    const QString& folder() const { return folder_; }
    QString hostPath() const;
    QString libraryPath() const;

    bool isBundled() const override;
    std::unique_ptr<HelperProcess> launch(Events events) override;

private:
    QString folder_;
};

} // namespace orlet
