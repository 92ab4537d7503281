#include "cli/batchprogress.h"

namespace {

std::string Up(std::size_t lines)
{
    return lines == 0 ? std::string() : "\033[" + std::to_string(lines) + "A";
}

} // namespace

std::string TBatchProgress::Redraw(const std::vector<std::string>& lines)
{
    std::string text = Up(Drawn);
    for (const std::string& line : lines)
        text += "\r\033[K" + line.substr(0, Width) + "\n";
    Drawn = lines.size();
    return text;
}

std::string TBatchProgress::Clear() const
{
    return Drawn == 0 ? std::string() : "\r" + Up(Drawn) + "\033[J";
}
