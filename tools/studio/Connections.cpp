// SPDX-License-Identifier: MIT
#include "tools/studio/Connections.h"

#include "base/Errors.h"
#include "base/Socket.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <nlohmann/json.hpp>
#include <thread>

namespace tevrin::studio {
namespace {

using TClock = std::chrono::steady_clock;

thread_local bool body_too_large = false;

int MillisecondsUntil(TClock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TClock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, 60'000));
}

// The value of a header in a head's text, compared without regard to case;
// empty when it is not there.
std::string HeaderValue(std::string_view head, std::string_view name) {
    std::size_t at = head.find("\r\n");
    while (at != std::string_view::npos && at + 2 < head.size()) {
        const std::size_t start = at + 2;
        const std::size_t end = head.find("\r\n", start);
        const std::string_view line =
            head.substr(start, (end == std::string_view::npos ? head.size() : end) - start);
        const std::size_t colon = line.find(':');
        if (colon == name.size() &&
            std::equal(name.begin(), name.end(), line.begin(), [](char a, char b) {
                return std::tolower(static_cast<unsigned char>(a)) ==
                       std::tolower(static_cast<unsigned char>(b));
            })) {
            std::string value(line.substr(colon + 1));
            value.erase(0, value.find_first_not_of(" \t"));
            value.erase(value.find_last_not_of(" \t") + 1);
            return value;
        }
        at = end;
    }
    return {};
}

} // namespace

// A connection's bytes as the library reads them: what was read ahead (a
// whole head, perhaps more) first, then the socket, each read waiting at
// most IoMs. After a head, the body's bytes are counted against MaxBody.
class TGuardedServer::TStream : public httplib::Stream {
public:
    TStream(std::intptr_t socket, const TConnectionLimits& limits)
        : socket_(socket), limits_(limits) {}

    enum class THead { Complete, Closed, Refused };
    struct THeadResult {
        THead Result = THead::Closed;
        int Status = 0;
        std::string Reason, Message;
    };

    // Reads until a whole head is at hand, within the limits; `check` sees
    // the request line's target first.
    THeadResult ReadHead(const std::function<std::string(std::string_view)>& check) {
        const TClock::time_point deadline =
            TClock::now() + std::chrono::milliseconds(limits_.HeadMs);
        bool target_checked = false;
        for (std::size_t scanned = pos_;;) {
            const std::string_view head(buffer_.data() + pos_, buffer_.size() - pos_);
            if (const std::size_t end = buffer_.find("\r\n\r\n", scanned);
                end != std::string::npos) {
                head_end_ = end + 4;
                break;
            }
            scanned = std::max(pos_, buffer_.size() >= 3 ? buffer_.size() - 3 : 0);
            const std::size_t line_end = head.find("\r\n");
            if ((line_end == std::string_view::npos ? head.size() : line_end) >
                limits_.MaxRequestLine)
                return {THead::Refused, 414, "URI Too Long", msg::kRequestLineTooLong};
            if (line_end != std::string_view::npos && !target_checked) {
                const std::string_view line = head.substr(0, line_end);
                const std::size_t space = line.find(' ');
                const std::size_t next =
                    space == std::string_view::npos ? space : line.find(' ', space + 1);
                const std::string refusal =
                    check && space != std::string_view::npos
                        ? check(line.substr(space + 1, next == std::string_view::npos
                                                           ? std::string_view::npos
                                                           : next - space - 1))
                        : std::string();
                if (!refusal.empty()) return {THead::Refused, 403, "Forbidden", refusal};
                target_checked = true;
            }
            if (head.size() > limits_.MaxHead ||
                std::count(head.begin(), head.end(), '\n') > limits_.MaxHeaders + 1)
                return {THead::Refused, 431, "Request Header Fields Too Large",
                        msg::kHeadersTooLarge};
            const int wait = MillisecondsUntil(deadline);
            if (wait <= 0 || !WaitReadable(socket_, wait))
                return {THead::Refused, 408, "Request Timeout", msg::kHeadersTooSlow};
            char chunk[4096];
            const ssize_t n = httplib::detail::read_socket(static_cast<socket_t>(socket_), chunk,
                                                           sizeof chunk, 0);
            if (n <= 0) return {};
            buffer_.append(chunk, static_cast<std::size_t>(n));
        }
        const std::string_view head(buffer_.data() + pos_, head_end_ - pos_);
        content_length_ = 0;
        chunked_ = HeaderValue(head, "Transfer-Encoding").size() > 0;
        const std::string length = HeaderValue(head, "Content-Length");
        try {
            content_length_ = length.empty() ? 0 : std::stoull(length);
        } catch (const std::exception&) {
            content_length_ = UINT64_MAX;
        }
        body_read_ = 0;
        body_too_large = false;
        if (!chunked_ && content_length_ == UINT64_MAX)
            return {THead::Refused, 400, "Bad Request", msg::kLengthNoNumber};
        // Refused before a byte of it is read.
        if (!chunked_ && content_length_ > limits_.MaxBody)
            return {THead::Refused, 413, "Payload Too Large", limits_.BodyTooLarge};
        return {THead::Complete};
    }

    // Whether the request's body was read to its end, so that the next
    // request on the connection starts where it should.
    bool BodyDone() const {
        return !chunked_ && !failed_ && content_length_ != UINT64_MAX &&
               body_read_ == content_length_;
    }
    // Drops what the last request used, keeping what came after it.
    void NextRequest() {
        buffer_.erase(0, pos_);
        pos_ = head_end_ = served_ = 0;
    }
    bool HasReadAhead() const { return pos_ < buffer_.size(); }

    bool is_readable() const override {
        return HasReadAhead() || WaitReadable(socket_, limits_.IoMs);
    }
    bool is_writable() const override { return WaitWritable(socket_, limits_.IoMs); }

    ssize_t read(char* ptr, size_t size) override {
        std::size_t n = 0;
        if (pos_ < buffer_.size()) {
            n = std::min(size, buffer_.size() - pos_);
            std::copy_n(buffer_.data() + pos_, n, ptr);
            pos_ += n;
        } else {
            if (!WaitReadable(socket_, limits_.IoMs)) return Fail();
            const ssize_t got =
                httplib::detail::read_socket(static_cast<socket_t>(socket_), ptr, size, 0);
            if (got <= 0) return Fail();
            n = static_cast<std::size_t>(got);
        }
        // What is read past the head is the body (with its chunks' framing,
        // hence the slack).
        served_ += n;
        body_read_ = served_ > head_end_ ? served_ - head_end_ : 0;
        if (body_read_ > limits_.MaxBody + (64 << 10)) {
            body_too_large = true;
            return Fail();
        }
        return static_cast<ssize_t>(n);
    }

    ssize_t write(const char* ptr, size_t size) override {
        std::size_t done = 0;
        while (done < size) {
            if (!WaitWritable(socket_, limits_.IoMs)) return Fail();
            const ssize_t n = httplib::detail::send_socket(static_cast<socket_t>(socket_),
                                                           ptr + done, size - done, 0);
            if (n <= 0) return Fail();
            done += static_cast<std::size_t>(n);
        }
        return static_cast<ssize_t>(size);
    }

    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        ip = PeerAddress(socket_);
        port = 0;
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override {
        ip = "127.0.0.1";
        port = 0;
    }
    socket_t socket() const override { return static_cast<socket_t>(socket_); }

    // Answers a request refused before the library saw it, and ends it.
    void Refuse(int status, const std::string& reason, const std::string& message) {
        const std::string body = nlohmann::json{{"error", message}}.dump();
        const std::string answer =
            "HTTP/1.1 " + std::to_string(status) + " " + reason +
            "\r\nContent-Type: application/json; charset=utf-8\r\nContent-Length: " +
            std::to_string(body.size()) +
            "\r\nConnection: close\r\nCache-Control: no-store\r\nX-Content-Type-Options: "
            "nosniff\r\n\r\n" +
            body;
        write(answer.data(), answer.size());
    }

private:
    ssize_t Fail() {
        failed_ = true;
        return -1;
    }

    std::intptr_t socket_;
    const TConnectionLimits& limits_;
    std::string buffer_;
    std::size_t pos_ = 0, head_end_ = 0;
    std::uint64_t content_length_ = 0, body_read_ = 0, served_ = 0;
    bool chunked_ = false, failed_ = false;
};

// A thread for each connection, up to twice the connections allowed (the
// ones over the limit live just long enough to be refused or to make room).
class TGuardedServer::TQueue : public httplib::TaskQueue {
public:
    explicit TQueue(TGuardedServer& server) : server_(server) {}

    void enqueue(std::function<void()> fn) override {
        std::unique_lock lock(lock_);
        done_.wait(lock, [&] { return running_ < server_.limits_.Total * 2; });
        ++running_;
        std::thread([this, fn = std::move(fn)] {
            fn();
            std::lock_guard ended(lock_);
            --running_;
            done_.notify_all();
        }).detach();
    }

    void shutdown() override {
        server_.ShutdownAll();
        std::unique_lock lock(lock_);
        done_.wait(lock, [&] { return running_ == 0; });
    }

private:
    TGuardedServer& server_;
    std::mutex lock_;
    std::condition_variable done_;
    int running_ = 0;
};

TGuardedServer::TGuardedServer() {
    new_task_queue = [this] {
        {
            std::lock_guard lock(lock_);
            stopping_ = false;
        }
        return new TQueue(*this);
    };
}

TGuardedServer::~TGuardedServer() = default;

bool TGuardedServer::BodyWasTooLarge() {
    return body_too_large;
}

int TGuardedServer::OpenConnections() {
    std::lock_guard lock(lock_);
    return static_cast<int>(open_.size());
}

bool TGuardedServer::Open(std::list<TConnection>::iterator& entry, std::intptr_t socket,
                          const std::string& address) {
    std::lock_guard lock(lock_);
    if (stopping_) return false;
    // Ends the oldest connection that is idle, else the oldest still sending
    // its head, of this address or of any; false when every one is busy.
    auto drop_oldest = [&](bool same_address) {
        for (const TState state : {TState::Idle, TState::Sending})
            for (TConnection& other : open_)
                if (!other.Dropped && other.State == state &&
                    (!same_address || other.Address == address)) {
                    ShutdownSocket(other.Socket);
                    other.Dropped = true;
                    return true;
                }
        return false;
    };
    const auto waiting = std::count_if(open_.begin(), open_.end(), [&](const TConnection& c) {
        return c.Address == address && c.State != TState::Busy && !c.Dropped;
    });
    if (waiting >= limits_.PerAddress && !drop_oldest(true)) return false;
    if (static_cast<int>(open_.size()) >= limits_.Total && !drop_oldest(false)) return false;
    entry = open_.insert(open_.end(), TConnection{socket, address, TState::Idle, false});
    return true;
}

void TGuardedServer::SetState(std::list<TConnection>::iterator entry, TState state) {
    std::lock_guard lock(lock_);
    entry->State = state;
}

void TGuardedServer::Close(std::list<TConnection>::iterator entry) {
    std::lock_guard lock(lock_);
    open_.erase(entry);
}

void TGuardedServer::ShutdownAll() {
    std::lock_guard lock(lock_);
    stopping_ = true;
    for (const TConnection& connection : open_)
        ShutdownSocket(connection.Socket);
}

bool TGuardedServer::process_and_close_socket(socket_t sock) {
    const auto socket = static_cast<std::intptr_t>(sock);
    TStream stream(socket, limits_);
    std::list<TConnection>::iterator entry;
    if (!Open(entry, socket, PeerAddress(socket))) {
        stream.Refuse(503, "Service Unavailable", "The Studio has too many connections open");
    } else {
        for (int served = 0; served < limits_.RequestsPerConnection; ++served) {
            SetState(entry, TState::Idle);
            if (!stream.HasReadAhead() && !WaitReadable(socket, limits_.IdleMs)) break;
            SetState(entry, TState::Sending);
            const TStream::THeadResult head = stream.ReadHead(CheckTarget);
            if (head.Result == TStream::THead::Refused)
                stream.Refuse(head.Status, head.Reason, head.Message);
            if (head.Result != TStream::THead::Complete) break;
            SetState(entry, TState::Busy);
            bool closed_by_client = false;
            const bool last = served + 1 == limits_.RequestsPerConnection;
            if (!process_request(stream, last, closed_by_client, nullptr) || closed_by_client ||
                last || !stream.BodyDone())
                break;
            stream.NextRequest();
        }
        Close(entry);
    }
    ShutdownSocket(socket);
    httplib::detail::close_socket(sock);
    return true;
}

} // namespace tevrin::studio
