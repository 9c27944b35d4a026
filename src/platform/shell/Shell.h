#pragma once

#include <QString>

#include <functional>

class QUrl;

// The desktop's two services that the window needs: open a file with the program associated with its
// type, and show an address in the browser. Each answers whether the desktop accepted the request.
namespace Shell {

enum class Kind { File, Url };

bool openFile(const QString &path);
bool openUrl(const QUrl &url);

// Tests take the requests here so that no program starts; an empty handler restores the desktop.
using Handler = std::function<bool(Kind kind, const QString &target)>;
void setHandler(Handler handler);

} // namespace Shell
