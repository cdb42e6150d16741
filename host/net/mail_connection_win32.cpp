// The mail classes' connection: a non-blocking socket waited on with select, so that no wait
// outlasts the time-out, and TLS through Schannel with the certificate checked here (chain and
// server name) rather than by Schannel, so that the check can be left out when the script asks.
#include "host/net/mail_connection.h"

#include <algorithm>
#include <vector>

#include "host/net/mail_protocol.h"
#include "host/net/winsock.h"
#include "platform/system_error.h"

#define SECURITY_WIN32
#include <schannel.h>
#include <security.h>
#include <sspi.h>
#include <wincrypt.h>

namespace tarpon::host::net {

namespace {

constexpr DWORD context_requirements = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                                       ISC_REQ_EXTENDED_ERROR | ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM;

std::wstring widen(const std::string& text) {
    if (text.empty()) {
        return {};
    }
    const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(std::max(length, 0)), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

std::string code_text(uint32_t code) { return platform::system_error_text(code); }

// Why a certificate was refused, in words a script author can act on.
std::string certificate_refusal(DWORD code) {
    switch (static_cast<HRESULT>(code)) {
        case CERT_E_UNTRUSTEDROOT:
        case static_cast<HRESULT>(CERT_E_CHAINING):
            return "The server's certificate is not accepted: it is not signed by a trusted authority.";
        case CERT_E_CN_NO_MATCH:
            return "The server's certificate is not accepted: it is made out to another name than the server's.";
        case CERT_E_EXPIRED:
            return "The server's certificate is not accepted: it has expired or is not valid yet.";
        case CERT_E_REVOKED:
            return "The server's certificate is not accepted: it has been revoked.";
        case CERT_E_WRONG_USAGE:
            return "The server's certificate is not accepted: it is not meant for a server.";
        default:
            return "The server's certificate is not accepted: " + code_text(code);
    }
}

// Output tokens of InitializeSecurityContext, freed with the context buffer functions.
struct OutputToken {
    SecBuffer buffer{0, SECBUFFER_TOKEN, nullptr};
    ~OutputToken() {
        if (buffer.pvBuffer != nullptr) {
            FreeContextBuffer(buffer.pvBuffer);
        }
    }
};

}  // namespace

struct MailConnection::State {
    WinsockSession winsock;
    Socket socket;
    DWORD timeout = 10000;
    mail::LineBuffer lines;
    std::string error;

    // TLS, once started.
    bool tls = false;
    bool have_credentials = false;
    bool have_context = false;
    CredHandle credentials{};
    CtxtHandle context{};
    SecPkgContext_StreamSizes sizes{};
    std::wstring target;
    std::string encrypted;  // received bytes not yet decrypted

    ~State() { end_tls(); }

    void end_tls() {
        if (have_context) {
            DeleteSecurityContext(&context);
            have_context = false;
        }
        if (have_credentials) {
            FreeCredentialsHandle(&credentials);
            have_credentials = false;
        }
        tls = false;
    }

    void fail_with_code(const std::string& what, int code) { error = what + ": " + code_text(static_cast<uint32_t>(code)); }

    // Waits until the socket is readable (or writable); false with the error set when the time-out
    // passes first.
    bool wait(bool for_reading) {
        fd_set set;
        FD_ZERO(&set);
        FD_SET(socket.get(), &set);
        fd_set failed;
        FD_ZERO(&failed);
        FD_SET(socket.get(), &failed);
        timeval limit{static_cast<long>(timeout / 1000), static_cast<long>(timeout % 1000) * 1000};
        const int ready = select(0, for_reading ? &set : nullptr, for_reading ? nullptr : &set, &failed, &limit);
        if (ready == 0) {
            error = "The server did not answer in time.";
            return false;
        }
        if (ready < 0) {
            fail_with_code("The connection failed", WSAGetLastError());
            return false;
        }
        return true;
    }

    bool raw_send(const char* data, size_t size) {
        while (size > 0) {
            const int chunk = static_cast<int>(std::min<size_t>(size, 64 * 1024));
            const int sent = ::send(socket.get(), data, chunk, 0);
            if (sent > 0) {
                data += sent;
                size -= static_cast<size_t>(sent);
                continue;
            }
            if (sent < 0 && WSAGetLastError() == WSAEWOULDBLOCK) {
                if (!wait(false)) {
                    return false;
                }
                continue;
            }
            fail_with_code("Sending to the server failed", WSAGetLastError());
            return false;
        }
        return true;
    }

    // Some bytes from the socket appended to `to`; false when the server closed the connection, it
    // failed or the time-out passed.
    bool raw_receive(std::string& to) {
        char buffer[16 * 1024];
        for (;;) {
            const int got = ::recv(socket.get(), buffer, sizeof buffer, 0);
            if (got > 0) {
                to.append(buffer, static_cast<size_t>(got));
                return true;
            }
            if (got == 0) {
                error = "The server closed the connection.";
                return false;
            }
            if (WSAGetLastError() != WSAEWOULDBLOCK) {
                fail_with_code("Receiving from the server failed", WSAGetLastError());
                return false;
            }
            if (!wait(true)) {
                return false;
            }
        }
    }

    // Runs the handshake from `input` (bytes already received) until the context is complete. The
    // context is asked first, before any wait: it may need nothing more from the server (the first
    // call, or a message after the handshake that came whole).
    bool handshake(std::string input, bool first) {
        bool need_more = false;
        SECURITY_STATUS status = SEC_I_CONTINUE_NEEDED;
        for (;;) {
            if (need_more) {
                if (!raw_receive(input)) {
                    error = "The secure connection could not be set up: " + error;
                    return false;
                }
                if (input.size() > 1024 * 1024) {
                    error = "The secure connection could not be set up: the server sent too much.";
                    return false;
                }
            }
            SecBuffer in_buffers[2] = {
                {static_cast<unsigned long>(input.size()), SECBUFFER_TOKEN, input.data()},
                {0, SECBUFFER_EMPTY, nullptr},
            };
            SecBufferDesc in_description{SECBUFFER_VERSION, 2, in_buffers};
            OutputToken token;
            SecBufferDesc out_description{SECBUFFER_VERSION, 1, &token.buffer};
            ULONG attributes = 0;
            status = InitializeSecurityContextW(&credentials, first ? nullptr : &context, target.data(),
                                                context_requirements, 0, 0, first ? nullptr : &in_description,
                                                0, first ? &context : nullptr, &out_description, &attributes,
                                                nullptr);
            const bool was_first = first;
            if (first) {
                have_context = status == SEC_E_OK || status == SEC_I_CONTINUE_NEEDED ||
                               status == SEC_I_INCOMPLETE_CREDENTIALS;
                first = false;
            }
            if (status == SEC_E_INCOMPLETE_MESSAGE) {
                need_more = true;
                continue;
            }
            if (token.buffer.cbBuffer > 0 && token.buffer.pvBuffer != nullptr &&
                (status == SEC_E_OK || status == SEC_I_CONTINUE_NEEDED ||
                 (FAILED(status) && (attributes & ISC_RET_EXTENDED_ERROR) != 0))) {
                if (!raw_send(static_cast<const char*>(token.buffer.pvBuffer), token.buffer.cbBuffer)) {
                    return false;
                }
            }
            if (was_first) {
                // The first call reads nothing: what has arrived is still to be read.
            } else if (in_buffers[1].BufferType == SECBUFFER_EXTRA && in_buffers[1].cbBuffer > 0 &&
                in_buffers[1].cbBuffer <= input.size()) {
                input.erase(0, input.size() - in_buffers[1].cbBuffer);
            } else if (status != SEC_I_INCOMPLETE_CREDENTIALS) {
                input.clear();
            }
            if (status == SEC_E_OK) {
                encrypted = std::move(input);
                return true;
            }
            if (status == SEC_I_INCOMPLETE_CREDENTIALS) {
                // The server asks for a client certificate; the connection goes on without one.
                need_more = false;
                continue;
            }
            if (status != SEC_I_CONTINUE_NEEDED) {
                error = "The secure connection could not be set up: " + code_text(static_cast<uint32_t>(status));
                return false;
            }
            need_more = input.empty();
        }
    }

    bool verify_certificate() {
        PCCERT_CONTEXT certificate = nullptr;
        if (QueryContextAttributesW(&context, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &certificate) != SEC_E_OK ||
            certificate == nullptr) {
            error = "The server's certificate is not accepted: the server sent none.";
            return false;
        }
        LPSTR usages[] = {const_cast<LPSTR>(szOID_PKIX_KP_SERVER_AUTH), const_cast<LPSTR>(szOID_SERVER_GATED_CRYPTO),
                          const_cast<LPSTR>(szOID_SGC_NETSCAPE)};
        CERT_CHAIN_PARA chain_parameters{};
        chain_parameters.cbSize = sizeof chain_parameters;
        chain_parameters.RequestedUsage.dwType = USAGE_MATCH_TYPE_OR;
        chain_parameters.RequestedUsage.Usage.cUsageIdentifier = 3;
        chain_parameters.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
        PCCERT_CHAIN_CONTEXT chain = nullptr;
        const bool built = CertGetCertificateChain(nullptr, certificate, nullptr, certificate->hCertStore,
                                                   &chain_parameters, 0, nullptr, &chain) != 0;
        const DWORD build_error = GetLastError();
        CertFreeCertificateContext(certificate);
        if (!built || chain == nullptr) {
            error = certificate_refusal(build_error);
            return false;
        }
        HTTPSPolicyCallbackData name_check{};
        name_check.cbStruct = sizeof name_check;
        name_check.dwAuthType = AUTHTYPE_SERVER;
        name_check.pwszServerName = target.data();
        CERT_CHAIN_POLICY_PARA policy{};
        policy.cbSize = sizeof policy;
        policy.pvExtraPolicyPara = &name_check;
        CERT_CHAIN_POLICY_STATUS outcome{};
        outcome.cbSize = sizeof outcome;
        const bool checked = CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &outcome) != 0;
        const DWORD check_error = checked ? outcome.dwError : GetLastError();
        CertFreeCertificateChain(chain);
        if (!checked || check_error != 0) {
            error = certificate_refusal(check_error);
            return false;
        }
        return true;
    }

    // Decrypts what has arrived into the line buffer, receiving more when a record is incomplete;
    // false when no plain text could be had.
    bool receive_plain() {
        for (;;) {
            if (!encrypted.empty()) {
                SecBuffer buffers[4] = {
                    {static_cast<unsigned long>(encrypted.size()), SECBUFFER_DATA, encrypted.data()},
                    {0, SECBUFFER_EMPTY, nullptr},
                    {0, SECBUFFER_EMPTY, nullptr},
                    {0, SECBUFFER_EMPTY, nullptr},
                };
                SecBufferDesc description{SECBUFFER_VERSION, 4, buffers};
                const SECURITY_STATUS status = DecryptMessage(&context, &description, 0, nullptr);
                if (status == SEC_E_OK || status == SEC_I_RENEGOTIATE) {
                    bool got = false;
                    std::string extra;
                    for (const SecBuffer& buffer : buffers) {
                        if (buffer.BufferType == SECBUFFER_DATA && buffer.cbBuffer > 0) {
                            lines.append(std::string_view(static_cast<const char*>(buffer.pvBuffer), buffer.cbBuffer));
                            got = true;
                        } else if (buffer.BufferType == SECBUFFER_EXTRA && buffer.cbBuffer > 0) {
                            extra.assign(static_cast<const char*>(buffer.pvBuffer), buffer.cbBuffer);
                        }
                    }
                    encrypted = std::move(extra);
                    if (status == SEC_I_RENEGOTIATE) {
                        // A handshake message after the handshake (a TLS 1.3 session ticket): it
                        // goes back to the context.
                        std::string input = std::move(encrypted);
                        encrypted.clear();
                        if (!handshake(std::move(input), false)) {
                            return false;
                        }
                    }
                    if (got) {
                        return true;
                    }
                    continue;
                }
                if (status == SEC_I_CONTEXT_EXPIRED) {
                    error = "The server closed the connection.";
                    return false;
                }
                if (status != SEC_E_INCOMPLETE_MESSAGE) {
                    error = "The secure connection failed: " + code_text(static_cast<uint32_t>(status));
                    return false;
                }
                if (encrypted.size() > sizes.cbHeader + sizes.cbMaximumMessage + sizes.cbTrailer + 1024 &&
                    sizes.cbMaximumMessage > 0) {
                    error = "The secure connection failed: the server sent a record too large.";
                    return false;
                }
            }
            if (!raw_receive(encrypted)) {
                return false;
            }
        }
    }

    bool receive_more() {
        if (tls) {
            return receive_plain();
        }
        std::string bytes;
        if (!raw_receive(bytes)) {
            return false;
        }
        lines.append(bytes);
        return true;
    }

    bool send_secure(std::string_view bytes) {
        const size_t most = std::max<unsigned long>(sizes.cbMaximumMessage, 1);
        std::vector<char> record;
        while (!bytes.empty()) {
            const size_t chunk = std::min(bytes.size(), most);
            record.assign(sizes.cbHeader + chunk + sizes.cbTrailer, 0);
            std::copy_n(bytes.data(), chunk, record.data() + sizes.cbHeader);
            SecBuffer buffers[4] = {
                {sizes.cbHeader, SECBUFFER_STREAM_HEADER, record.data()},
                {static_cast<unsigned long>(chunk), SECBUFFER_DATA, record.data() + sizes.cbHeader},
                {sizes.cbTrailer, SECBUFFER_STREAM_TRAILER, record.data() + sizes.cbHeader + chunk},
                {0, SECBUFFER_EMPTY, nullptr},
            };
            SecBufferDesc description{SECBUFFER_VERSION, 4, buffers};
            const SECURITY_STATUS status = EncryptMessage(&context, 0, &description, 0);
            if (status != SEC_E_OK) {
                error = "The secure connection failed: " + code_text(static_cast<uint32_t>(status));
                return false;
            }
            if (!raw_send(record.data(), buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer)) {
                return false;
            }
            bytes.remove_prefix(chunk);
        }
        return true;
    }
};

MailConnection::MailConnection() : m(std::make_unique<State>()) {}
MailConnection::~MailConnection() = default;

bool MailConnection::open(const std::string& server, uint16_t port, uint32_t timeout) {
    close();
    m->error.clear();
    m->timeout = timeout;
    if (!m->winsock.started()) {
        m->error = "The network is not available.";
        return false;
    }
    const std::optional<uint32_t> address = resolve_ipv4(server);
    if (!address) {
        m->error = "The server \"" + server + "\" is not known.";
        return false;
    }
    m->socket.reset(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    u_long non_blocking = 1;
    if (!m->socket || ioctlsocket(m->socket.get(), FIONBIO, &non_blocking) != 0) {
        m->fail_with_code("No connection could be made", WSAGetLastError());
        m->socket.reset();
        return false;
    }
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_addr.s_addr = *address;
    target.sin_port = htons(port);
    if (::connect(m->socket.get(), reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0) {
        if (WSAGetLastError() != WSAEWOULDBLOCK) {
            m->fail_with_code("No connection could be made to " + server, WSAGetLastError());
            m->socket.reset();
            return false;
        }
        if (!m->wait(false)) {
            m->error = "No connection could be made to " + server + " in time.";
            m->socket.reset();
            return false;
        }
        int failure = 0;
        int size = sizeof failure;
        getsockopt(m->socket.get(), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&failure), &size);
        if (failure != 0) {
            m->fail_with_code("No connection could be made to " + server, failure);
            m->socket.reset();
            return false;
        }
    }
    m->lines = mail::LineBuffer();
    return true;
}

bool MailConnection::start_tls(const std::string& server, bool verify) {
    if (!m->socket || m->tls) {
        m->error = "The connection is not open.";
        return false;
    }
    m->target = widen(server);
    SCHANNEL_CRED settings{};
    settings.dwVersion = SCHANNEL_CRED_VERSION;
    // The certificate is checked below, where leaving the check out is a choice of the script's.
    settings.dwFlags = SCH_CRED_NO_DEFAULT_CREDS | SCH_CRED_MANUAL_CRED_VALIDATION;
    TimeStamp expiry{};
    const SECURITY_STATUS acquired =
        AcquireCredentialsHandleW(nullptr, const_cast<SEC_WCHAR*>(UNISP_NAME_W), SECPKG_CRED_OUTBOUND, nullptr,
                                  &settings, nullptr, nullptr, &m->credentials, &expiry);
    if (acquired != SEC_E_OK) {
        m->error = "The secure connection could not be set up: " + code_text(static_cast<uint32_t>(acquired));
        return false;
    }
    m->have_credentials = true;
    // Bytes the server sent after its last plain line belong to the handshake.
    std::string early = m->lines.take_rest();
    if (!m->handshake(std::move(early), true)) {
        m->end_tls();
        close();
        return false;
    }
    if (verify && !m->verify_certificate()) {
        m->end_tls();
        close();
        return false;
    }
    if (QueryContextAttributesW(&m->context, SECPKG_ATTR_STREAM_SIZES, &m->sizes) != SEC_E_OK) {
        m->error = "The secure connection could not be set up.";
        m->end_tls();
        close();
        return false;
    }
    m->tls = true;
    return true;
}

bool MailConnection::send(std::string_view bytes) {
    if (!m->socket) {
        m->error = "The connection is not open.";
        return false;
    }
    return m->tls ? m->send_secure(bytes) : m->raw_send(bytes.data(), bytes.size());
}

std::optional<std::string> MailConnection::read_line() {
    if (!m->socket) {
        m->error = "The connection is not open.";
        return std::nullopt;
    }
    for (;;) {
        if (std::optional<std::string> line = m->lines.take_line()) {
            return line;
        }
        if (m->lines.overflowed()) {
            m->error = "The server sent a line too long.";
            return std::nullopt;
        }
        if (!m->receive_more()) {
            return std::nullopt;
        }
    }
}

void MailConnection::close() {
    m->end_tls();
    m->socket.reset();
    m->encrypted.clear();
}

bool MailConnection::is_open() const { return static_cast<bool>(m->socket); }
bool MailConnection::secure() const { return m->tls; }
const std::string& MailConnection::error() const { return m->error; }

std::string computer_name() {
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD length = sizeof name;
    if (GetComputerNameA(name, &length) == 0 || length == 0) {
        return "localhost";
    }
    return std::string(name, length);
}

}  // namespace tarpon::host::net
