#pragma once

#include <QtGlobal>

#include <thread>

// Long passes over a column are split between the two cores this program is measured on.
namespace TwoCores {

// Below this much text a second thread costs more than it saves.
constexpr qsizetype SplitBytes = 1 << 20;

// Runs work(0) here and work(1) on the second core: the two halves of a long pass that each half alone
// writes to.
template<typename F>
void inTwoHalves(F &&work)
{
    std::thread other([&work] { work(1); });
    work(0);
    other.join();
}

} // namespace TwoCores
