#pragma once
// AutoPlay, as Windows does for a newly inserted disc: the `open=` entry of the [autorun] section
// of the root's autorun.inf (any case) is started with the drive's root as working directory.
#include <optional>
#include <string>

#include "framework/system/ansistring.h"

// The command line to start for an autorun.inf's text on drive `letter`, or nothing when it has
// no open= entry in its [autorun] section. Relative program names are taken from the drive's
// root, as Windows takes them.
std::optional<AnsiString> AutoPlayCommandLine(const std::string& autorunText, char letter);

// Reads the mounted root's autorun.inf and starts its program under Wine, in the root folder.
// Returns the started command line, or nothing when the disc has no AutoPlay entry. Raises
// EDriveFailure when the program cannot be started.
std::optional<AnsiString> StartAutoPlay(const std::string& mountPoint, char letter);

// Whether AutoPlay is on: the setting `autoplay=off` in $XDG_CONFIG_HOME/talvesk/talvesk-drive.conf
// turns it off; `talvesk-drive --autoplay off|on` writes that setting.
bool AutoPlayEnabled();
void SetAutoPlayEnabled(bool enabled);
