#pragma once

#include <QString>

#include <functional>

// A new glossary file is made whole under a name of its own beside the one it is for, and takes that name
// only when complete: a run killed half-way leaves nothing in the way of the next.
namespace NewGlossary {

// fill makes the glossary at the path it is handed. A file already at path, or one that appears there
// meanwhile, is refused with a DbError; whatever fails leaves no file behind.
void make(const QString &path, const std::function<void(const QString &)> &fill);

} // namespace NewGlossary
