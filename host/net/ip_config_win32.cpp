// The IPConfig class: a snapshot of the machine's interfaces, read by interface number.
#include <memory>

#include "engine/values/array.h"
#include "host/common/class.h"
#include "host/net/inet_classes.h"
#include "host/net/ip_config.h"
#include "host/net/winsock.h"

namespace tarpon::host {

namespace {

struct IpConfigRecord {
    std::vector<net::InterfaceRow> rows;
};

// The row the first argument numbers, or null (the method's result stays null then).
const net::InterfaceRow* row_argument(MemberCall& call) {
    *call.result = Value::null();
    const std::vector<net::InterfaceRow>& rows = call.data<IpConfigRecord>().rows;
    const std::optional<int64_t> i = call.args.integer(0);
    if (!i || *i < 0 || static_cast<uint64_t>(*i) >= rows.size()) {
        return nullptr;
    }
    return &rows[static_cast<size_t>(*i)];
}

Value address_array(ScriptEngine* engine, const std::vector<uint32_t>& addresses) {
    std::vector<std::string> texts;
    for (uint32_t address : addresses) {
        texts.push_back(net::dotted(address));
    }
    return ansi_string_array(engine, texts);
}

void if_num(MemberCall& call) {
    *call.result = Value::integer(static_cast<int64_t>(call.data<IpConfigRecord>().rows.size()));
}

void if_desc(MemberCall& call) {
    if (const net::InterfaceRow* row = row_argument(call)) {
        *call.result = ansi_string(call.engine, row->description);
    }
}

void if_type(MemberCall& call) {
    if (const net::InterfaceRow* row = row_argument(call)) {
        *call.result = ansi_string(call.engine, net::interface_type_name(row->type));
    }
}

void if_mac(MemberCall& call) {
    if (const net::InterfaceRow* row = row_argument(call)) {
        *call.result = ansi_string(call.engine, net::physical_address_text(row->physical_address));
    }
}

void if_ip(MemberCall& call) {
    if (const net::InterfaceRow* row = row_argument(call)) {
        *call.result = address_array(call.engine, row->addresses);
    }
}

void if_ip_mask(MemberCall& call) {
    if (const net::InterfaceRow* row = row_argument(call)) {
        *call.result = address_array(call.engine, row->masks);
    }
}

void if_default_gateway(MemberCall& call) {
    if (const net::InterfaceRow* row = row_argument(call)) {
        *call.result = ansi_string(call.engine, row->gateway ? net::dotted(*row->gateway) : std::string());
    }
}

const Member ip_config_members[] = {
    property("ifNum", if_num, nullptr, Needs::Instance),
    method("ifDesc", if_desc, Needs::Instance),
    method("ifType", if_type, Needs::Instance),
    method("ifMac", if_mac, Needs::Instance),
    method("ifIP", if_ip, Needs::Instance),
    method("ifIPMask", if_ip_mask, Needs::Instance),
    method("ifDefaultGateway", if_default_gateway, Needs::Instance),
};

// An IPConfig made with `new` has no rows and answers nothing but toString.
const ClassDeclaration ip_config_class = {
    .name = "IPConfig",
    .class_text = "[object IPConfig]",
    .members = ip_config_members,
    .construct = construct_stateless,
    .destroy = delete_instance<IpConfigRecord>,
};

} // namespace

Value make_ip_config(ScriptEngine* engine, std::vector<net::InterfaceRow> rows) {
    return make_instance(engine, declared_class(engine, ip_config_class),
                         std::make_unique<IpConfigRecord>(IpConfigRecord{std::move(rows)}));
}

void register_ip_config_class(ScriptEngine* engine) { declare_class(engine, ip_config_class); }

} // namespace tarpon::host
