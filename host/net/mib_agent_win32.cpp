// The interface table from the system's MIB-II extension agent, walked with get-next requests.
#include <algorithm>
#include <cstring>
#include <optional>

#include "host/net/interface_table.h"
#include "host/net/library_function.h"
#include "platform/owners.h"
#include <snmp.h>

namespace tarpon::host::net {

namespace {

using ExtensionInit = BOOL(WINAPI*)(DWORD, HANDLE*, AsnObjectIdentifier*);
using ExtensionQuery = BOOL(WINAPI*)(BYTE, SnmpVarBindList*, AsnInteger32*, AsnInteger32*);
using OidCopy = SNMPAPI(WINAPI*)(AsnObjectIdentifier*, AsnObjectIdentifier*);
using VarBindFree = VOID(WINAPI*)(SnmpVarBind*);

// A table walk stops here whatever the agent answers.
constexpr size_t max_rows = 1024;

using Oid = std::vector<UINT>;

const Oid if_number = {1, 3, 6, 1, 2, 1, 2, 1};
const Oid if_entry = {1, 3, 6, 1, 2, 1, 2, 2, 1};
const Oid ip_addr_entry = {1, 3, 6, 1, 2, 1, 4, 20, 1};
const Oid ip_route_entry = {1, 3, 6, 1, 2, 1, 4, 21, 1};

Oid column(const Oid& entry, UINT number) {
    Oid oid = entry;
    oid.push_back(number);
    return oid;
}

// One answer of the agent: the object's name and its value as a number or as bytes.
struct Answer {
    Oid name;
    BYTE type = 0;
    uint32_t number = 0;
    std::vector<uint8_t> bytes;
};

class Agent {
  public:
    bool load() {
        m_agent.reset(LoadLibraryA("inetmib1.dll"));
        m_utilities.reset(LoadLibraryA("snmpapi.dll"));
        if (!m_agent || !m_utilities) {
            return false;
        }
        auto init = library_function<ExtensionInit>(m_agent.get(), "SnmpExtensionInit");
        m_query = library_function<ExtensionQuery>(m_agent.get(), "SnmpExtensionQuery");
        m_copy = library_function<OidCopy>(m_utilities.get(), "SnmpUtilOidCpy");
        m_free = library_function<VarBindFree>(m_utilities.get(), "SnmpUtilVarBindFree");
        if (init == nullptr || m_query == nullptr || m_copy == nullptr || m_free == nullptr) {
            return false;
        }
        HANDLE trap_event = nullptr;
        AsnObjectIdentifier view{};
        return init(GetTickCount(), &trap_event, &view) != FALSE;
    }

    // The object after `name`; nothing when the agent fails.
    std::optional<Answer> next(const Oid& name) {
        Oid ids = name;
        AsnObjectIdentifier request{static_cast<UINT>(ids.size()), ids.data()};
        SnmpVarBind bind{};
        // The agent replaces the name with the one it answers for, freeing ours: it must be the
        // utilities' own copy.
        if (!m_copy(&bind.name, &request)) {
            return std::nullopt;
        }
        SnmpVarBindList list{&bind, 1};
        AsnInteger32 status = 0;
        AsnInteger32 index = 0;
        const BOOL answered = m_query(SNMP_PDU_GETNEXT, &list, &status, &index);
        std::optional<Answer> answer;
        if (answered && status == SNMP_ERRORSTATUS_NOERROR) {
            answer = read(bind);
        }
        m_free(&bind);
        return answer;
    }

  private:
    static Answer read(const SnmpVarBind& bind) {
        Answer answer;
        answer.name.assign(bind.name.ids, bind.name.ids + bind.name.idLength);
        answer.type = bind.value.asnType;
        switch (bind.value.asnType) {
        case ASN_INTEGER:
            answer.number = static_cast<uint32_t>(bind.value.asnValue.number);
            break;
        case ASN_COUNTER32:
        case ASN_GAUGE32:
        case ASN_TIMETICKS:
            answer.number = bind.value.asnValue.unsigned32;
            break;
        case ASN_OCTETSTRING:
        case ASN_IPADDRESS:
            if (bind.value.asnValue.string.stream != nullptr) {
                const AsnOctetString& s = bind.value.asnValue.string;
                answer.bytes.assign(s.stream, s.stream + s.length);
            }
            break;
        default:
            break;
        }
        return answer;
    }

    platform::Library m_agent;
    platform::Library m_utilities;
    ExtensionQuery m_query = nullptr;
    OidCopy m_copy = nullptr;
    VarBindFree m_free = nullptr;
};

bool starts_with(const Oid& name, const Oid& prefix) {
    return name.size() > prefix.size() && std::equal(prefix.begin(), prefix.end(), name.begin());
}

// The objects of one table column in walk order.
std::optional<std::vector<Answer>> walk(Agent& agent, const Oid& column) {
    std::vector<Answer> rows;
    Oid at = column;
    while (rows.size() < max_rows) {
        std::optional<Answer> answer = agent.next(at);
        // A failure is also how an agent says the view has ended after the last column.
        if (!answer || !starts_with(answer->name, column) || answer->name <= at) {
            break; // left the column (or would not move on)
        }
        at = answer->name;
        rows.push_back(std::move(*answer));
    }
    return rows;
}

Oid suffix(const Answer& answer, const Oid& column) {
    return Oid(answer.name.begin() + column.size(), answer.name.end());
}

// The walks of several columns of one table, each of which must hold the same rows.
std::optional<std::vector<std::vector<Answer>>> walk_table(Agent& agent, const Oid& entry,
                                                           std::initializer_list<UINT> columns) {
    std::vector<std::vector<Answer>> table;
    for (UINT number : columns) {
        const Oid oid = column(entry, number);
        std::optional<std::vector<Answer>> rows = walk(agent, oid);
        if (!rows) {
            return std::nullopt;
        }
        if (!table.empty()) {
            const Oid first = column(entry, *columns.begin());
            if (rows->size() != table.front().size()) {
                return std::nullopt;
            }
            for (size_t i = 0; i < rows->size(); ++i) {
                if (suffix((*rows)[i], oid) != suffix(table.front()[i], first)) {
                    return std::nullopt;
                }
            }
        }
        table.push_back(std::move(*rows));
    }
    return table;
}

uint32_t address_of(const Answer& answer) {
    uint32_t address = 0;
    if (answer.bytes.size() == 4) {
        std::memcpy(&address, answer.bytes.data(), 4);
    }
    return address;
}

} // namespace

std::optional<std::vector<InterfaceRow>> interfaces_from_mib_agent() {
    Agent agent;
    if (!agent.load()) {
        return std::nullopt;
    }
    const std::optional<Answer> count = agent.next(if_number);
    if (!count || count->name != column(if_number, 0) || count->type != ASN_INTEGER) {
        return std::nullopt;
    }
    const auto interfaces = walk_table(agent, if_entry, {1, 2, 3, 5, 6, 8});
    if (!interfaces || interfaces->front().size() != count->number) {
        return std::nullopt;
    }
    std::vector<InterfaceRow> rows;
    for (size_t i = 0; i < interfaces->front().size(); ++i) {
        InterfaceRow row;
        row.index = (*interfaces)[0][i].number;
        const std::vector<uint8_t>& description = (*interfaces)[1][i].bytes;
        row.description.assign(description.begin(), description.end());
        row.description = row.description.substr(0, std::min(row.description.find('\0'), max_description));
        row.type = (*interfaces)[2][i].number;
        row.speed = (*interfaces)[3][i].number;
        row.physical_address = (*interfaces)[4][i].bytes;
        row.physical_address.resize(std::min(row.physical_address.size(), max_physical_address));
        row.status = (*interfaces)[5][i].number;
        rows.push_back(std::move(row));
    }
    const auto addresses = walk_table(agent, ip_addr_entry, {1, 2, 3});
    const auto routes = walk_table(agent, ip_route_entry, {1, 2, 7});
    if (!addresses || !routes) {
        return std::nullopt;
    }
    for (size_t i = 0; i < addresses->front().size(); ++i) {
        add_address(rows, (*addresses)[1][i].number, address_of((*addresses)[0][i]),
                    address_of((*addresses)[2][i]));
    }
    for (size_t i = 0; i < routes->front().size(); ++i) {
        add_route(rows, (*routes)[1][i].number, address_of((*routes)[0][i]), address_of((*routes)[2][i]));
    }
    return rows;
}

} // namespace tarpon::host::net
