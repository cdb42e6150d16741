// The Socket class: a TCP connection or listener. Its notifications come through the socket layer's
// hidden window (socket_window.h) while the host's message loop runs, and call the object's event
// handlers there. What arrives is kept in the object until the script reads it; what the script
// sends and the system cannot take at once is kept until the socket is writable again.
//
// A socket belongs to its object: freeing the object (collection, or the engine's end) closes the
// connection. Connections are never roots of their own.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <tuple>

#include "engine/values/collector.h"
#include "engine/values/protected_run.h"
#include "engine/values/stack_roots.h"
#include "engine/values/string_record.h"
#include "engine/values/text_codec.h"
#include "engine/vm/services.h"
#include "host/common/class.h"
#include "host/common/system_error.h"
#include "host/net/net_classes.h"
#include "host/net/socket_text.h"
#include "host/net/socket_window.h"
#include "host/net/winsock.h"
#include "platform/system_error.h"

#include <ws2tcpip.h>

namespace tarpon::host {

namespace {

using net::Charset;

constexpr int64_t default_timeout_ms = 10000;
// What one recv or send call moves at most.
constexpr size_t transfer_chunk = 64 * 1024;
// Handlers that make their own socket's events call themselves again (through processMsg) stop here.
constexpr int handler_depth_limit = 16;

constexpr long stream_events = FD_READ | FD_WRITE | FD_CLOSE;

enum class State : uint8_t { Closed, Connecting, Connected, Listening };

enum Event : size_t { on_connect, on_accept, on_receive, on_close, on_error, event_count };

bool is_lead_byte(unsigned char byte) { return IsDBCSLeadByte(byte) != FALSE; }

struct SocketRecord {
    explicit SocketRecord(ScriptEngine* owner) : engine(owner) {}
    ~SocketRecord() { shut(); }
    SocketRecord(const SocketRecord&) = delete;
    SocketRecord& operator=(const SocketRecord&) = delete;

    // Stops the notifications and closes the socket at once.
    void shut() {
        net::unwatch_socket(watch);
        watch = 0;
        socket.reset();
        state = State::Closed;
        close_pending = false;
        end_posted = false;
    }

    ScriptEngine* engine;
    net::WinsockSession winsock;
    net::Socket socket;
    unsigned watch = 0;
    State state = State::Closed;
    // The peer closed while the receive queue was full: the close is reported once the script has
    // read enough for the rest to arrive.
    bool close_pending = false;
    // receive() saw the end and handed it to the message loop; once is enough.
    bool end_posted = false;
    net::ByteQueue received;
    net::ByteQueue outgoing;
    Charset charset = Charset::Ansi;
    int64_t timeout = default_timeout_ms;
    int64_t error = 0;
    std::string error_text;
    std::string remote_host;
    int64_t remote_port = 0;
    int64_t local_port = 0;
    std::array<Value, event_count> handlers;
    Value self; // the object, `this` of the handlers; not a root (the object owns the record)
    int handler_depth = 0;
};

void notify(void* context, uint16_t event, uint16_t error);

// {====== Failures

void clear_error(SocketRecord& record) {
    record.error = 0;
    record.error_text.clear();
}

void set_error(SocketRecord& record, int code) {
    record.error = code;
    record.error_text = platform::system_error_text(static_cast<uint32_t>(code));
}

// A failure of a method: the object's error, the engine's message buffer, and the method's result.
void fail(MemberCall& call, SocketRecord& record, int code, const Value& result = Value::boolean(false)) {
    set_error(record, code);
    store_system_error(call.engine, static_cast<uint32_t>(code));
    *call.result = result;
}

bool would_block(int code) { return code == WSAEWOULDBLOCK || code == WSAEINPROGRESS; }

// }======

// {====== Handlers

// Calls the event's handler with the object as `this`. A failure inside it is dropped here: it never
// leaves through the window procedure. The result and message buffer of a script that is running
// meanwhile (the one waiting in processMsg) are kept for it.
template <typename MakeArguments> void fire(SocketRecord& record, Event event, MakeArguments make_arguments) {
    if (record.handlers[event].tag != Tag::Function || record.handler_depth >= handler_depth_limit) {
        return;
    }
    ScriptEngine* engine = record.engine;
    const Value saved_result = engine->result;
    std::array<char, sizeof engine->message> saved_message;
    std::memcpy(saved_message.data(), engine->message, saved_message.size());

    ++record.handler_depth;
    run_protected(engine, [&] {
        // The handler, `this` and the outer result stay marked on the stack while the script runs;
        // the arguments after them form the block.
        StackRoots roots(engine,
                         {record.handlers[event], record.self, saved_result, Value(), Value(), Value()});
        Value* block = roots.cells() + 3;
        const uint32_t count = make_arguments(engine, block + 1);
        block[0] = Value::integer(count);
        vm::call_function_value(engine, roots.cells()[1], roots.cells()[0], count + 1, block);
    });
    --record.handler_depth;

    engine->result = saved_result;
    std::memcpy(engine->message, saved_message.data(), saved_message.size());
}

void fire(SocketRecord& record, Event event) {
    fire(record, event, [](ScriptEngine*, Value*) { return 0u; });
}

void fire_connect(SocketRecord& record, bool ok) {
    fire(record, on_connect, [ok](ScriptEngine*, Value* args) {
        args[0] = Value::boolean(ok);
        return 1u;
    });
}

void fire_error(SocketRecord& record) {
    fire(record, on_error, [&record](ScriptEngine* engine, Value* args) {
        args[0] = Value::integer(record.error);
        args[1] = ansi_string(engine, record.error_text);
        return 2u;
    });
}

// }======

// {====== Addresses

// The address's numeric text and port.
std::pair<std::string, int64_t> address_text(const sockaddr_storage& address, int size) {
    char host[NI_MAXHOST] = "";
    char port[NI_MAXSERV] = "";
    if (getnameinfo(reinterpret_cast<const sockaddr*>(&address), size, host, sizeof host, port, sizeof port,
                    NI_NUMERICHOST | NI_NUMERICSERV) != 0) {
        return {"", 0};
    }
    return {host, std::strtol(port, nullptr, 10)};
}

void read_addresses(SocketRecord& record) {
    sockaddr_storage address{};
    int size = sizeof address;
    if (getpeername(record.socket.get(), reinterpret_cast<sockaddr*>(&address), &size) == 0) {
        std::tie(record.remote_host, record.remote_port) = address_text(address, size);
    }
    size = sizeof address;
    if (getsockname(record.socket.get(), reinterpret_cast<sockaddr*>(&address), &size) == 0) {
        record.local_port = address_text(address, size).second;
    }
}

struct AddressListTraits {
    using type = addrinfo*;
    static addrinfo* none() { return nullptr; }
    static bool valid(addrinfo* list) { return list != nullptr; }
    static void close(addrinfo* list) { freeaddrinfo(list); }
};
using AddressList = platform::Owner<AddressListTraits>;

// The addresses of the host and port; the first IPv4 address is taken, else the first of any family.
// Nothing, with the resolver's error code, when there is none.
std::optional<addrinfo> resolve(const std::string& host, int64_t port, bool passive, AddressList& list,
                                int& code) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = passive ? AI_PASSIVE : 0;
    const std::string service = std::to_string(port);
    code = getaddrinfo(host.c_str(), service.c_str(), &hints, list.put());
    if (code != 0 || !list) {
        if (code == 0) {
            code = WSAHOST_NOT_FOUND;
        }
        return std::nullopt;
    }
    for (const addrinfo* entry = list.get(); entry != nullptr; entry = entry->ai_next) {
        if (entry->ai_family == AF_INET) {
            return *entry;
        }
    }
    return *list.get();
}

// }======

// {====== Moving bytes

struct Pulled {
    bool got = false;   // new bytes are in the receive queue
    bool ended = false; // the peer closed its side
    int error = 0;      // the connection failed
};

// Takes what the system holds for the socket into the receive queue, up to the queue's bound.
Pulled pull_received(SocketRecord& record) {
    Pulled pulled;
    char buffer[transfer_chunk];
    while (record.socket && record.received.size() < net::socket_queue_limit) {
        const size_t room = std::min(sizeof buffer, net::socket_queue_limit - record.received.size());
        const int n = recv(record.socket.get(), buffer, static_cast<int>(room), 0);
        if (n > 0) {
            record.received.append(std::string_view(buffer, static_cast<size_t>(n)));
            pulled.got = true;
            continue;
        }
        if (n == 0) {
            pulled.ended = true;
        } else if (const int code = WSAGetLastError(); !would_block(code)) {
            pulled.error = code;
        }
        break;
    }
    return pulled;
}

// Sends what the send queue holds until the system takes no more. 0, or the error code of a failed
// connection.
int flush_outgoing(SocketRecord& record) {
    while (record.socket && !record.outgoing.empty()) {
        const std::string_view bytes = record.outgoing.bytes();
        const int n = send(record.socket.get(), bytes.data(),
                           static_cast<int>(std::min(bytes.size(), transfer_chunk)), 0);
        if (n > 0) {
            record.outgoing.take(static_cast<size_t>(n));
            continue;
        }
        const int code = WSAGetLastError();
        return would_block(code) ? 0 : code;
    }
    return 0;
}

// Waits up to the object's timeout for the send queue to drain, for a close that must not drop what
// the script sent. The socket is non-blocking: each wait is a select() on writability.
void drain_before_close(SocketRecord& record) {
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(record.timeout);
    while (record.socket && !record.outgoing.empty()) {
        if (flush_outgoing(record) != 0 || record.outgoing.empty()) {
            return;
        }
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) {
            return;
        }
        const ULONGLONG left = deadline - now;
        fd_set writable;
        FD_ZERO(&writable);
        FD_SET(record.socket.get(), &writable);
        timeval wait{static_cast<long>(left / 1000), static_cast<long>(left % 1000 * 1000)};
        if (select(0, nullptr, &writable, nullptr, &wait) <= 0) {
            return;
        }
    }
}

// }======

// {====== Notifications

// The connection is over: the socket goes, the script hears of it.
void finish_close(SocketRecord& record, int code) {
    record.shut();
    if (code != 0) {
        set_error(record, code);
        fire_error(record);
    }
    fire(record, on_close);
}

void connected(SocketRecord& record, int code) {
    if (record.state != State::Connecting) {
        return;
    }
    if (code != 0) {
        record.shut();
        set_error(record, code);
        fire_error(record);
        fire_connect(record, false);
        return;
    }
    record.state = State::Connected;
    read_addresses(record);
    const int failed = flush_outgoing(record);
    fire_connect(record, true);
    if (failed != 0 && record.socket) {
        finish_close(record, failed);
    }
}

void readable(SocketRecord& record) {
    const Pulled pulled = pull_received(record);
    if (pulled.got) {
        fire(record, on_receive);
    }
    if ((pulled.ended || pulled.error != 0) && record.socket) {
        finish_close(record, pulled.error);
    }
}

void peer_closed(SocketRecord& record, int code) {
    record.end_posted = false;
    const Pulled pulled = pull_received(record);
    if (pulled.got) {
        fire(record, on_receive);
    }
    if (!record.socket) {
        return; // the handler closed it
    }
    if (code == 0 && pulled.error == 0 && !pulled.ended &&
        record.received.size() >= net::socket_queue_limit) {
        // More is still on its way behind a full queue: receive() lets it in and reports the end.
        record.close_pending = true;
        return;
    }
    finish_close(record, code != 0 ? code : pulled.error);
}

void notify(void* context, uint16_t event, uint16_t error) {
    SocketRecord& record = *static_cast<SocketRecord*>(context);
    switch (event) {
    case FD_CONNECT:
        connected(record, error);
        break;
    case FD_ACCEPT:
        if (error != 0) {
            set_error(record, error);
            fire_error(record);
        } else {
            fire(record, on_accept);
        }
        break;
    case FD_READ:
        readable(record);
        break;
    case FD_WRITE:
        if (const int failed = flush_outgoing(record); failed != 0) {
            finish_close(record, failed);
        }
        break;
    case FD_CLOSE:
        peer_closed(record, error);
        break;
    default:
        break;
    }
}

// }======

// {====== Text

std::u16string decode(Charset charset, std::string_view bytes) {
    if (charset == Charset::Ansi) {
        return narrow_to_utf16(bytes);
    }
    return net::decode_bytes(charset, bytes);
}

std::optional<std::string> encode(Charset charset, std::u16string_view text) {
    if (charset == Charset::Ansi) {
        return utf16_to_narrow(text);
    }
    return net::encode_text(charset, text);
}

// Lets more of the peer's bytes in after the script read some, and hands the end of the connection
// to the message loop once everything before it is in.
void refill(SocketRecord& record) {
    if (record.state != State::Connected || record.end_posted) {
        return;
    }
    const Pulled pulled = pull_received(record);
    if (pulled.ended || pulled.error != 0) {
        record.end_posted = true;
        net::post_notification(record.watch, FD_CLOSE, static_cast<uint16_t>(pulled.error));
    } else if (record.close_pending && record.received.size() < net::socket_queue_limit) {
        record.close_pending = false;
        record.end_posted = true;
        net::post_notification(record.watch, FD_CLOSE);
    }
}

Value string_of(ScriptEngine* engine, const std::u16string& text) { return make_string_copy(engine, text); }

// }======

// {====== Members

SocketRecord& record_of(MemberCall& call) { return call.data<SocketRecord>(); }

void socket_construct(MemberCall& call) {
    auto record = std::make_unique<SocketRecord>(call.engine);
    SocketRecord* data = record.get();
    *call.result = make_instance(call.engine, call.cls, std::move(record));
    data->self = *call.result;
}

void socket_destroy(HostClass*, void* instance) { delete static_cast<SocketRecord*>(instance); }

void socket_mark(ScriptEngine* engine, HostClass*, void* instance) {
    if (instance == nullptr) {
        return;
    }
    for (const Value& handler : static_cast<const SocketRecord*>(instance)->handlers) {
        mark_value(engine, handler);
    }
}

// A port argument: an Integer from `lowest` to 65535.
std::optional<int64_t> port_argument(const MemberCall& call, uint32_t i, int64_t lowest) {
    const std::optional<int64_t> port = call.args.integer(i);
    if (!port || *port < lowest || *port > 65535) {
        return std::nullopt;
    }
    return port;
}

bool start_watch(MemberCall& call, SocketRecord& record, long events) {
    record.watch = net::watch_socket(record.socket.get(), events, notify, &record);
    if (record.watch == 0) {
        fail(call, record, WSAGetLastError());
        record.shut();
        return false;
    }
    return true;
}

// Starts over: the previous connection or listener goes, and what it left unread or unsent.
void reset_record(SocketRecord& record) {
    record.shut();
    record.received.clear();
    record.outgoing.clear();
    record.remote_host.clear();
    record.remote_port = 0;
    record.local_port = 0;
    clear_error(record);
}

// Starts the record afresh, resolves the host and opens a socket for its address, the handle in
// the record. The address (its storage held by `list`), or nothing with the failure stored.
std::optional<addrinfo> open_socket(MemberCall& call, SocketRecord& record, const std::string& host, int64_t port,
                                    bool passive, AddressList& list) {
    reset_record(record);
    if (!record.winsock.started()) {
        fail(call, record, WSASYSNOTREADY);
        return std::nullopt;
    }
    int code = 0;
    const std::optional<addrinfo> address = resolve(host, port, passive, list, code);
    if (!address) {
        fail(call, record, code);
        return std::nullopt;
    }
    record.socket.reset(socket(address->ai_family, address->ai_socktype, address->ai_protocol));
    if (!record.socket) {
        fail(call, record, WSAGetLastError());
        return std::nullopt;
    }
    return address;
}

// Waits up to the timeout for a non-blocking connect to finish: 0 or the error code.
int wait_for_connect(SOCKET socket, int64_t timeout) {
    fd_set writable;
    fd_set failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(socket, &writable);
    FD_SET(socket, &failed);
    const int64_t ms = std::clamp<int64_t>(timeout, 0, INT32_MAX);
    timeval wait{static_cast<long>(ms / 1000), static_cast<long>(ms % 1000 * 1000)};
    const int ready = select(0, nullptr, &writable, &failed, &wait);
    if (ready == 0) {
        return WSAETIMEDOUT;
    }
    if (ready < 0) {
        return WSAGetLastError();
    }
    if (FD_ISSET(socket, &failed)) {
        int code = 0;
        int size = sizeof code;
        getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&code), &size);
        return code != 0 ? code : WSAECONNREFUSED;
    }
    return 0;
}

void socket_connect(MemberCall& call) {
    SocketRecord& record = record_of(call);
    *call.result = Value::boolean(false);
    const std::optional<std::string> host = ansi_argument(call.args, 0);
    const std::optional<int64_t> port = port_argument(call, 1, 1);
    if (!host || !port) {
        return;
    }
    AddressList list;
    const std::optional<addrinfo> address = open_socket(call, record, *host, *port, false, list);
    if (!address) {
        return;
    }

    // With onConnect set the connection is made in the background and the handler hears how it
    // went; the socket is watched from the start so that FD_CONNECT reaches it.
    if (record.handlers[on_connect].tag == Tag::Function) {
        if (!start_watch(call, record, FD_CONNECT | stream_events)) {
            return;
        }
        if (connect(record.socket.get(), address->ai_addr, static_cast<int>(address->ai_addrlen)) != 0 &&
            !would_block(WSAGetLastError())) {
            const int failed = WSAGetLastError();
            record.shut();
            fail(call, record, failed);
            return;
        }
        record.state = State::Connecting;
        *call.result = Value::boolean(true);
        return;
    }

    u_long non_blocking = 1;
    ioctlsocket(record.socket.get(), FIONBIO, &non_blocking);
    int failed = 0;
    if (connect(record.socket.get(), address->ai_addr, static_cast<int>(address->ai_addrlen)) != 0) {
        failed = WSAGetLastError();
        if (would_block(failed)) {
            failed = wait_for_connect(record.socket.get(), record.timeout);
        }
    }
    if (failed != 0) {
        record.shut();
        fail(call, record, failed);
        return;
    }
    if (!start_watch(call, record, stream_events)) {
        return;
    }
    record.state = State::Connected;
    read_addresses(record);
    *call.result = Value::boolean(true);
}

void socket_listen(MemberCall& call) {
    SocketRecord& record = record_of(call);
    *call.result = Value::boolean(false);
    const std::optional<int64_t> port = port_argument(call, 0, 0);
    std::optional<std::string> host = std::string("127.0.0.1");
    if (call.args.has(1)) {
        host = ansi_argument(call.args, 1);
    }
    if (!port || !host) {
        return;
    }
    AddressList list;
    const std::optional<addrinfo> address = open_socket(call, record, *host, *port, true, list);
    if (!address) {
        return;
    }
    if (bind(record.socket.get(), address->ai_addr, static_cast<int>(address->ai_addrlen)) != 0 ||
        listen(record.socket.get(), SOMAXCONN) != 0) {
        const int failed = WSAGetLastError();
        record.shut();
        fail(call, record, failed);
        return;
    }
    if (!start_watch(call, record, FD_ACCEPT)) {
        return;
    }
    record.state = State::Listening;
    read_addresses(record);
    *call.result = Value::boolean(true);
}

void socket_accept(MemberCall& call) {
    SocketRecord& record = record_of(call);
    *call.result = Value::null();
    if (record.state != State::Listening) {
        return;
    }
    net::Socket connection(accept(record.socket.get(), nullptr, nullptr));
    if (!connection) {
        if (const int code = WSAGetLastError(); !would_block(code)) {
            fail(call, record, code, Value::null());
        }
        return;
    }
    auto accepted = std::make_unique<SocketRecord>(call.engine);
    SocketRecord* data = accepted.get();
    data->charset = record.charset;
    data->timeout = record.timeout;
    data->socket = std::move(connection);
    // The accepted socket carries the listener's notifications until it gets its own watch; those
    // name another socket than the listener's and are dropped.
    data->watch = net::watch_socket(data->socket.get(), stream_events, notify, data);
    if (data->watch == 0) {
        fail(call, record, WSAGetLastError(), Value::null());
        return;
    }
    data->state = State::Connected;
    read_addresses(*data);
    *call.result = make_instance(call.engine, call.cls, std::move(accepted));
    data->self = *call.result;
}

void socket_send(MemberCall& call) {
    SocketRecord& record = record_of(call);
    *call.result = Value::boolean(false);
    const StringRecord* text = call.args.string(0);
    if (text == nullptr) {
        return;
    }
    if (record.state != State::Connected && record.state != State::Connecting) {
        fail(call, record, WSAENOTCONN);
        return;
    }
    const std::optional<std::string> bytes = encode(record.charset, text->view());
    if (!bytes) {
        fail(call, record, ERROR_NO_UNICODE_TRANSLATION);
        return;
    }
    if (bytes->size() > net::socket_queue_limit - std::min(record.outgoing.size(), net::socket_queue_limit)) {
        fail(call, record, WSAENOBUFS);
        return;
    }
    record.outgoing.append(*bytes);
    if (record.state == State::Connected) {
        if (const int failed = flush_outgoing(record); failed != 0) {
            record.outgoing.clear();
            fail(call, record, failed);
            return;
        }
    }
    *call.result = Value::integer(static_cast<int64_t>(bytes->size()));
}

void socket_receive(MemberCall& call) {
    SocketRecord& record = record_of(call);
    std::optional<int64_t> max;
    if (call.args.has(0)) {
        max = call.args.integer(0);
        if (!max || *max < 0) {
            *call.result = string_of(call.engine, u"");
            return;
        }
    }
    refill(record);
    const std::string_view held = record.received.bytes();
    const size_t wanted = max ? std::min<size_t>(held.size(), static_cast<size_t>(*max)) : held.size();
    const net::LeadBytePredicate lead = record.charset == Charset::Ansi ? is_lead_byte : nullptr;
    size_t count = net::complete_prefix(record.charset, held.substr(0, wanted), lead);
    // A limit smaller than one character still yields that character once it is all here.
    if (count == 0 && wanted > 0) {
        count = net::first_character_length(record.charset, held, lead);
    }
    const std::string bytes = record.received.take_bytes(count);
    *call.result = string_of(call.engine, decode(record.charset, bytes));
    refill(record);
}

void socket_receive_line(MemberCall& call) {
    SocketRecord& record = record_of(call);
    *call.result = Value::null();
    refill(record);
    const std::string_view held = record.received.bytes();
    const std::optional<net::LineEnd> end = net::find_line_end(record.charset, held);
    size_t text_length = 0;
    size_t total_length = 0;
    if (end) {
        text_length = end->text_length;
        total_length = end->total_length;
    } else if (!held.empty() &&
               (record.state != State::Connected || held.size() >= net::socket_queue_limit)) {
        // No line end will come: the peer is gone, or the queue is full of one line. The rest is
        // the last line, rather than a reader that waits for ever.
        const net::LeadBytePredicate lead = record.charset == Charset::Ansi ? is_lead_byte : nullptr;
        text_length =
            record.state != State::Connected ? held.size() : net::complete_prefix(record.charset, held, lead);
        total_length = text_length;
    } else {
        return;
    }
    const std::string line = record.received.take_bytes(total_length).substr(0, text_length);
    *call.result = string_of(call.engine, decode(record.charset, line));
    refill(record);
}

void socket_close(MemberCall& call) {
    SocketRecord& record = record_of(call);
    const bool open = static_cast<bool>(record.socket);
    if (open && record.state == State::Connected) {
        drain_before_close(record);
    }
    record.shut();
    record.outgoing.clear();
    *call.result = Value::boolean(open);
}

void get_remote_host(MemberCall& call) {
    *call.result = ansi_string(call.engine, record_of(call).remote_host);
}
void get_remote_port(MemberCall& call) { *call.result = Value::integer(record_of(call).remote_port); }
void get_local_port(MemberCall& call) { *call.result = Value::integer(record_of(call).local_port); }
void get_connected(MemberCall& call) {
    *call.result = Value::boolean(record_of(call).state == State::Connected);
}

void get_timeout(MemberCall& call) { *call.result = Value::integer(record_of(call).timeout); }
void set_timeout(MemberCall& call, const Value& value) {
    std::optional<double> ms;
    if (value.tag == Tag::Integer) {
        ms = static_cast<double>(value.payload.integer);
    } else if (value.tag == Tag::Number) {
        ms = value.payload.number;
    }
    if (ms && *ms >= 0) {
        record_of(call).timeout = static_cast<int64_t>(std::min(*ms, static_cast<double>(INT32_MAX)));
    }
}

void get_charset(MemberCall& call) {
    *call.result = ansi_string_z(call.engine, net::charset_name(record_of(call).charset));
}
void set_charset(MemberCall& call, const Value& value) {
    if (value.tag != Tag::String) {
        return;
    }
    if (const std::optional<Charset> charset = net::charset_named(ansi_text(value.payload.string))) {
        record_of(call).charset = *charset;
    }
}

void get_error(MemberCall& call) { *call.result = Value::integer(record_of(call).error); }
void get_error_msg(MemberCall& call) { *call.result = ansi_string(call.engine, record_of(call).error_text); }

void get_handler(MemberCall& call) { *call.result = record_of(call).handlers[call.context<Event>()]; }
// A function sets the handler; null or undefined takes it away; anything else changes nothing.
void set_handler(MemberCall& call, const Value& value) {
    if (value.tag == Tag::Function || value.tag == Tag::Null || value.tag == Tag::Undefined) {
        record_of(call).handlers[call.context<Event>()] = value.tag == Tag::Function ? value : Value();
    }
}

constexpr Event events[] = {on_connect, on_accept, on_receive, on_close, on_error};
constexpr Needs instance = Needs::Instance;

const Member socket_members[] = {
    method("connect", socket_connect, instance),
    method("listen", socket_listen, instance),
    method("accept", socket_accept, instance),
    method("send", socket_send, instance),
    method("receive", socket_receive, instance),
    method("receiveLine", socket_receive_line, instance),
    method("close", socket_close, instance),
    property("remoteHost", get_remote_host, nullptr, instance),
    property("remotePort", get_remote_port, nullptr, instance),
    property("localPort", get_local_port, nullptr, instance),
    property("connected", get_connected, nullptr, instance),
    property("timeout", get_timeout, set_timeout, instance),
    property("charset", get_charset, set_charset, instance),
    property("error", get_error, nullptr, instance),
    property("errorMsg", get_error_msg, nullptr, instance),
    property("onConnect", get_handler, set_handler, instance, &events[on_connect]),
    property("onAccept", get_handler, set_handler, instance, &events[on_accept]),
    property("onReceive", get_handler, set_handler, instance, &events[on_receive]),
    property("onClose", get_handler, set_handler, instance, &events[on_close]),
    property("onError", get_handler, set_handler, instance, &events[on_error]),
};

const ClassDeclaration socket_class = {
    .name = "Socket",
    .class_text = "[object Socket]",
    .members = socket_members,
    .construct = socket_construct,
    .destroy = socket_destroy,
    .mark = socket_mark,
};

// }======

} // namespace

void register_socket_class(ScriptEngine* engine) { declare_class(engine, socket_class); }

} // namespace tarpon::host
