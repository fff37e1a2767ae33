#pragma once
// Names read from a file descriptor (standard input of `select JOBFILE -`),
// each ended by a separator byte: a line feed, or a NUL. The last name may
// lack its separator. Read a block at a time, so a list of millions of paths
// is never held whole.
#include <string>
#include <vector>

namespace ax {

class NameReader {
public:
    NameReader(int fd, char separator);

    // The next name, empty ones included; false at the end of the input or
    // on a read error (Error() then says which).
    bool Next(std::string& name);
    // The errno of a failed read, 0 when none failed.
    int Error() const { return error_; }

private:
    bool Fill();

    int fd_;
    char separator_;
    std::vector<char> buffer_;
    size_t at_ = 0;
    size_t filled_ = 0;
    bool ended_ = false;
    int error_ = 0;
};

} // namespace ax
