#pragma once

#include <QString>

// The one wording of a failed write for the window's export and the tool's: the system's own messages are
// in English, so the reason the user reads is told from the errno value.
namespace FileError {

// The reason after "Impossibile ... il file '...': ", without the full stop.
QString reason(int error);

} // namespace FileError
