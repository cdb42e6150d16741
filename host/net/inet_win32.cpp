// The Inet class: ping, the connectivity test, the mail-exchanger lookup, the DNS servers, the
// interface configuration and URL downloads. Everything runs on the calling thread; the events are
// script functions called while an operation runs.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "engine/values/array.h"
#include "engine/values/atoms.h"
#include "engine/values/collector.h"
#include "engine/values/conversions.h"
#include "engine/values/property_table.h"
#include "engine/vm/services.h"
#include "host/common/class.h"
#include "host/common/system_error.h"
#include "host/net/dns_servers.h"
#include "host/net/inet_classes.h"
#include "host/net/interface_table.h"
#include "host/net/ip_config.h"
#include "host/net/mx_lookup.h"
#include "host/net/ping.h"
#include "host/net/url_download.h"

namespace tarpon::host {

namespace {

// The host isInetConnected pings when the script names none: a public resolver that answers echo
// requests. The one place it is named.
constexpr const char* default_connectivity_host = "1.1.1.1";
constexpr int connectivity_pings = 4;

struct InetRecord {
    Value on_pinging;
    Value on_get_url;
};

// Also called for the class object, which has no record.
void inet_mark(ScriptEngine* engine, HostClass*, void* instance) {
    if (instance == nullptr) {
        return;
    }
    const auto* record = static_cast<const InetRecord*>(instance);
    mark_value(engine, record->on_pinging);
    mark_value(engine, record->on_get_url);
}

// The handler an event goes to: the object's, none for the class object.
Value handler_of(const MemberCall& call, Value InetRecord::*event) {
    return call.instance != nullptr ? call.data<InetRecord>().*event : Value();
}

void inet_construct(MemberCall& call) {
    *call.result = make_instance(call.engine, call.cls, std::make_unique<InetRecord>());
}

// Calls an event handler with the object as `this`; what it returned, or nothing when there is no
// handler or the handler failed (its failure does not stop the operation).
template <size_t N>
std::optional<Value> fire(MemberCall& call, const Value& handler, const Value (&arguments)[N]) {
    if (handler.tag != Tag::Function) {
        return std::nullopt;
    }
    Value block[N + 1];
    block[0] = Value::integer(static_cast<int64_t>(N));
    for (size_t i = 0; i < N; ++i) {
        block[i + 1] = arguments[i];
    }
    const Value function = handler;
    if (!vm::call_function_value(call.engine, call.receiver, function, N + 1, block)) {
        return std::nullopt;
    }
    return call.engine->result;
}

void ping(MemberCall& call) {
    const std::optional<std::string> host = ansi_argument(call.args, 0);
    const std::optional<int64_t> count = call.args.integer(1);
    if (!host || !count) {
        return;
    }
    const int requests = static_cast<int>(std::clamp<int64_t>(*count, 0, INT32_MAX));
    const int replies =
        net::ping(*host, requests, [&](net::PingEvent code, int value, const std::string& text) {
            // The handler is read at each event: it may replace itself.
            const Value handler = handler_of(call, &InetRecord::on_pinging);
            if (handler.tag == Tag::Function) {
                fire(call, handler,
                     {Value::integer(static_cast<int>(code)), Value::integer(value),
                      ansi_string(call.engine, text)});
            }
        });
    *call.result = Value::integer(replies);
}

void is_inet_connected(MemberCall& call) {
    std::string host = default_connectivity_host;
    if (call.args.has(0)) {
        const std::optional<std::string> given = ansi_argument(call.args, 0);
        if (!given) {
            return;
        }
        host = *given;
    }
    *call.result = Value::boolean(net::ping(host, connectivity_pings, nullptr) > 0);
}

void mxfind(MemberCall& call) {
    ScriptEngine* engine = call.engine;
    const std::optional<std::string> domain = ansi_argument(call.args, 0);
    const std::optional<std::string> server = ansi_argument(call.args, 1);
    std::vector<dns::MailExchanger> found;
    if (domain && server) {
        found = net::find_mail_exchangers(*domain, *server);
    }
    ArrayRecord* array = array_create(engine, found.size());
    *call.result = Value::array(array);
    const Atom name = intern(engine, "name");
    const Atom pref = intern(engine, "pref");
    for (size_t i = 0; i < found.size(); ++i) {
        PropertyTable* object = new_table(engine);
        array_insert(engine, array, Value::object(object), i);
        table_put(engine, object, name, ansi_string(engine, found[i].name));
        table_put(engine, object, pref, Value::integer(found[i].preference));
    }
}

void get_dns(MemberCall& call) {
    *call.result = ansi_string_array(call.engine, net::configured_dns_servers());
}

void get_ip_config(MemberCall& call) {
    std::optional<std::vector<net::InterfaceRow>> rows = net::interfaces_from_mib_agent();
    if (!rows) {
        rows = net::interfaces_from_ip_helper();
    }
    *call.result = make_ip_config(call.engine, std::move(*rows));
}

void get_url(MemberCall& call) {
    *call.result = Value::boolean(false);
    const std::optional<std::string> url = ansi_argument(call.args, 0);
    const std::optional<std::string> path = ansi_argument(call.args, 1);
    if (!url || !path) {
        return;
    }
    const net::DownloadResult result =
        net::download_url(*url, *path, [&](net::DownloadEvent code, const std::string& text) {
            const Value handler = handler_of(call, &InetRecord::on_get_url);
            const std::optional<Value> answer =
                fire(call, handler, {Value::integer(static_cast<int>(code)), ansi_string(call.engine, text)});
            // No handler, or one that failed: the download goes on.
            return !answer || to_boolean(*answer);
        });
    if (!result.ok && result.error != 0) {
        store_system_error(call.engine, result.error);
    }
    *call.result = Value::boolean(result.ok);
}

void get_on_pinging(MemberCall& call) { *call.result = call.data<InetRecord>().on_pinging; }
void set_on_pinging(MemberCall& call, const Value& value) {
    if (value.tag == Tag::Function) {
        call.data<InetRecord>().on_pinging = value;
    }
}
void get_on_get_url(MemberCall& call) { *call.result = call.data<InetRecord>().on_get_url; }
void set_on_get_url(MemberCall& call, const Value& value) {
    if (value.tag == Tag::Function) {
        call.data<InetRecord>().on_get_url = value;
    }
}

const Member inet_members[] = {
    method("ping", ping),
    method("isInetConnected", is_inet_connected),
    method("mxfind", mxfind),
    method("getDNS", get_dns),
    method("getIPConfig", get_ip_config),
    method("getUrl", get_url),
    property("onPinging", get_on_pinging, set_on_pinging, Needs::Instance),
    property("onGetUrl", get_on_get_url, set_on_get_url, Needs::Instance),
};

const ClassDeclaration inet_class = {
    .name = "Inet",
    .class_text = "[object Inet]",
    .members = inet_members,
    .construct = inet_construct,
    .destroy = delete_instance<InetRecord>,
    .mark = inet_mark,
};

} // namespace

void register_inet_class(ScriptEngine* engine) { declare_class(engine, inet_class); }

} // namespace tarpon::host
