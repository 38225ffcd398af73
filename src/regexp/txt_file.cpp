#include "regexp/txt_file.hpp"

#include <cerrno>
#include <cstring>

namespace brindle {

TTxtFile::TTxtFile(const std::string& file_name, const bool* cancel,
                   std::function<void()> process_messages)
    : cancel_(cancel), process_messages_(std::move(process_messages)), buffer_(kBufferSize) {
    errno = 0;
    file_.reset(std::fopen(file_name.c_str(), "rb"));
    if (!file_) {
        throw EFileNotFound(std::strerror(errno != 0 ? errno : ENOENT));
    }
    BuffRead();
}

void TTxtFile::CheckCancel() const {
    if (cancel_ != nullptr && *cancel_) {
        throw EGrepCancel();
    }
}

void TTxtFile::BuffRead() {
    if (at_eof_) {
        size_ = 0;
        pos_ = 0;
        throw EEndOfFile();
    }
    size_ = std::fread(buffer_.data(), 1, buffer_.size(), file_.get());
    pos_ = 0;
    if (size_ < buffer_.size()) {
        if (std::ferror(file_.get()) != 0) {
            throw EFileNotFound(std::strerror(errno != 0 ? errno : EIO));
        }
        at_eof_ = true;
    }
    if (process_messages_) {
        process_messages_();
    }
    CheckCancel();
    if (size_ == 0) {
        throw EEndOfFile();
    }
}

void TTxtFile::ReadLine(std::string& line) {
    line.clear();
    bool have_data = false;
    for (;;) {
        if (pos_ >= size_) {
            try {
                BuffRead();
            } catch (const EEndOfFile&) {
                // The last line needs no line end; the end is reported on the next call.
                if (!have_data) {
                    throw;
                }
                ++line_number_;
                return;
            }
        }
        if (skip_lf_) {
            skip_lf_ = false;
            if (buffer_[pos_] == '\n') {
                ++pos_;
                continue;
            }
        }
        const char* begin = buffer_.data() + pos_;
        const std::size_t available = size_ - pos_;
        const char* end = begin + available;
        const char* stop = begin;
        while (stop < end && *stop != '\n' && *stop != '\r') {
            ++stop;
        }
        if (stop == end) {
            stop = nullptr;
        }
        have_data = true;
        if (stop == nullptr) {
            line.append(begin, available);
            pos_ = size_;
            continue;
        }
        line.append(begin, static_cast<std::size_t>(stop - begin));
        pos_ += static_cast<std::size_t>(stop - begin) + 1;
        skip_lf_ = *stop == '\r';
        ++line_number_;
        return;
    }
}

}  // namespace brindle
