// The pages of the installer window's lower part.
#pragma once

namespace orvek::app {

enum TInstallPage { tpPreInstall = 0, tpInstalling = 1, tpInstallFinished = 2, tpInstallFailed = 3 };

}  // namespace orvek::app
