#pragma once

// Owns one file descriptor and closes it when it goes; move-only. Used on both sides of the
// broker socket, where descriptors travel between processes and must never leak.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : m_fd(fd) {}
    ~UniqueFd();
    UniqueFd(UniqueFd &&other) noexcept : m_fd(other.release()) {}
    UniqueFd &operator=(UniqueFd &&other) noexcept;
    UniqueFd(const UniqueFd &) = delete;
    UniqueFd &operator=(const UniqueFd &) = delete;

    int get() const { return m_fd; }
    explicit operator bool() const { return m_fd >= 0; }
    // Gives up ownership without closing.
    int release();
    void reset(int fd = -1);

private:
    int m_fd = -1;
};
