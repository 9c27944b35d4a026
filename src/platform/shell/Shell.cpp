#include "platform/shell/Shell.h"

#include <QDesktopServices>
#include <QUrl>

namespace {

Shell::Handler &handler()
{
    static Shell::Handler h;
    return h;
}

} // namespace

namespace Shell {

void setHandler(Handler h)
{
    handler() = std::move(h);
}

bool openFile(const QString &path)
{
    if (handler())
        return handler()(Kind::File, path);
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

bool openUrl(const QUrl &url)
{
    if (handler())
        return handler()(Kind::Url, url.toString());
    return QDesktopServices::openUrl(url);
}

} // namespace Shell
