// The Mail class: one message, its text in a temporary file of its own and its parts described by
// byte ranges in that text. Header assignments only mark the message modified; changing a body, an
// item or an attachment writes the whole text anew.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>

#include "host/common/class.h"
#include "host/net/mail_system.h"
#include "host/net/mime_charset.h"
#include "host/net/mime_headers.h"
#include "host/net/mime_parser.h"
#include "host/net/mime_text.h"
#include "host/net/net_classes.h"

namespace tarpon::host {

namespace {

using mime::MessageContent;
using mime::MessageHeaders;
using mime::MimePart;
using mime::ParsedMessage;

struct MailRecord {
    platform::KernelHandle file;
    std::string text;  // what the message file holds
    // The text is behind the headers: a header was assigned since it was written, or it was never
    // written (a new message, whose empty file is no message yet).
    bool modified = true;
    MessageHeaders headers;
    ParsedMessage parts;
};

MailRecord& mail(const MemberCall& call) { return call.data<MailRecord>(); }

// Writes the text anew from the headers and the parts; `change` edits the parts first.
template <typename Change>
void rewrite(MailRecord& record, Change&& change) {
    MessageContent content = mime::content_of(record.text, record.parts);
    change(content);
    mime::WrittenMessage written =
        mime::write_message(record.headers, content, mime::local_charset(), boundary_seed());
    record.text = std::move(written.text);
    record.parts = std::move(written.parts);
    record.modified = false;
    replace_file_content(record.file.get(), record.text);
}

void bring_up_to_date(MailRecord& record) {
    if (record.modified) {
        rewrite(record, [](MessageContent&) {});
    }
}

// A text or HTML body as local text: its transfer encoding undone, and its charset converted when
// it declares one of its own.
std::string body_text(const MailRecord& record, const MimePart& part) {
    std::string body = mime::decoded_body(record.text, part);
    if (!part.charset.empty() && !mime::equal_ignoring_case(part.charset, mime::local_charset())) {
        if (std::optional<std::string> local = mime::to_local_text(part.charset, body)) {
            return std::move(*local);
        }
    }
    return body;
}

// Argument `i` as an index into the list, else nothing.
const MimePart* part_argument(const MemberCall& call, uint32_t i, const std::vector<MimePart>& list) {
    const std::optional<int64_t> index = call.args.integer(i);
    if (!index || *index < 0 || static_cast<uint64_t>(*index) >= list.size()) {
        return nullptr;
    }
    return &list[static_cast<size_t>(*index)];
}

void mail_construct(MemberCall& call) {
    auto record = std::make_unique<MailRecord>();
    record->file = create_message_file();
    if (!record->file) {
        *call.result = Value::null();
        return;
    }
    *call.result = make_instance(call.engine, call.cls, std::move(record));
}

// Header fields, each a member of the headers served by one getter and setter.
using HeaderField = std::optional<std::string> MessageHeaders::*;
constexpr HeaderField from_field = &MessageHeaders::from;
constexpr HeaderField reply_to_field = &MessageHeaders::reply_to;
constexpr HeaderField to_field = &MessageHeaders::to;
constexpr HeaderField subject_field = &MessageHeaders::subject;
constexpr HeaderField cc_field = &MessageHeaders::cc;
constexpr HeaderField bcc_field = &MessageHeaders::bcc;
constexpr HeaderField date_field = &MessageHeaders::date;

void get_header(MemberCall& call) {
    const std::optional<std::string>& value = mail(call).headers.*call.context<HeaderField>();
    *call.result = ansi_string(call.engine, value.value_or(""));
}

void set_header(MemberCall& call, const Value& value) {
    std::string text = ansi_of(call.engine, value);
    MailRecord& record = mail(call);
    record.headers.*call.context<HeaderField>() = std::move(text);
    record.modified = true;
}

void get_priority(MemberCall& call) { *call.result = Value::integer(mail(call).headers.priority); }

void set_priority(MemberCall& call, const Value& value) {
    if (value.tag != Tag::Integer) {
        return;
    }
    const int64_t priority = value.payload.integer;
    mail(call).headers.priority = static_cast<int32_t>(std::clamp<int64_t>(priority, INT32_MIN, INT32_MAX));
    mail(call).modified = true;
}

void get_size(MemberCall& call) {
    MailRecord& record = mail(call);
    bring_up_to_date(record);
    *call.result = Value::integer(static_cast<int64_t>(record.text.size()));
}

void get_text(MemberCall& call) {
    *call.result = ansi_string(call.engine, body_text(mail(call), mail(call).parts.text));
}

void set_text(MemberCall& call, const Value& value) {
    const std::string text = ansi_of(call.engine, value);
    rewrite(mail(call), [&](MessageContent& content) { content.text = mime::new_text_part(text); });
}

void get_html(MemberCall& call) {
    *call.result = ansi_string(call.engine, body_text(mail(call), mail(call).parts.html));
}

void set_html(MemberCall& call, const Value& value) {
    const std::string html = ansi_of(call.engine, value);
    rewrite(mail(call), [&](MessageContent& content) { content.html = mime::new_text_part(html); });
}

void get_attachment_count(MemberCall& call) {
    *call.result = Value::integer(static_cast<int64_t>(mail(call).parts.attachments.size()));
}

void get_html_item_count(MemberCall& call) {
    *call.result = Value::integer(static_cast<int64_t>(mail(call).parts.items.size()));
}

void as_text(MemberCall& call) {
    MailRecord& record = mail(call);
    bring_up_to_date(record);
    *call.result = ansi_string(call.engine, record.text);
}

void load(MemberCall& call) {
    const std::optional<std::string> path = ansi_argument(call.args, 0);
    if (!path) {
        return;
    }
    std::optional<std::string> text = read_whole_file(*path);
    if (!text) {
        return;
    }
    MailRecord& record = mail(call);
    record.text = std::move(*text);
    record.headers = mime::parse_headers(record.text);
    record.parts = mime::parse_message(record.text);
    record.modified = false;
    replace_file_content(record.file.get(), record.text);
}

void save(MemberCall& call) {
    const std::optional<std::string> path = ansi_argument(call.args, 0);
    if (!path) {
        return;
    }
    MailRecord& record = mail(call);
    bring_up_to_date(record);
    write_whole_file(*path, record.text);
}

void get_attachment_content_type(MemberCall& call) {
    if (const MimePart* part = part_argument(call, 0, mail(call).parts.attachments)) {
        *call.result = ansi_string(call.engine, part->content_type);
    }
}

void get_attachment_name(MemberCall& call) {
    if (const MimePart* part = part_argument(call, 0, mail(call).parts.attachments)) {
        *call.result = ansi_string(call.engine, mime::decode_encoded_words(part->name));
    }
}

// Writes a part's decoded body to the path the script gives (never to a name the message gives).
void save_part(MemberCall& call, const std::vector<MimePart>& list) {
    const MimePart* part = part_argument(call, 0, list);
    const std::optional<std::string> path = ansi_argument(call.args, 1);
    if (part != nullptr && path) {
        write_whole_file(*path, mime::decoded_body(mail(call).text, *part));
    }
}

void save_attachment(MemberCall& call) { save_part(call, mail(call).parts.attachments); }

// A file as a new part: its name from the path, its type from the registry. Nothing when it cannot
// be read.
std::optional<mime::PartContent> file_part(const std::string& path, std::string_view content_id) {
    const std::optional<std::string> bytes = read_whole_file(path);
    if (!bytes) {
        return std::nullopt;
    }
    const std::string_view name = file_name_of(path);
    return mime::new_file_part(*bytes, content_type_of(name), mime::item_name(name, content_id));
}

void add_attachment(MemberCall& call) {
    const std::optional<std::string> path = ansi_argument(call.args, 0);
    if (!path) {
        return;
    }
    std::optional<mime::PartContent> part = file_part(*path, "");
    if (part) {
        rewrite(mail(call),
                [&](MessageContent& content) { content.attachments.push_back(std::move(*part)); });
    }
    *call.result = Value::boolean(part.has_value());
}

// Removes entry i (argument 0) of one list of the parts and writes the message anew.
void remove_part(MemberCall& call, std::vector<MimePart> ParsedMessage::*parsed,
                 std::vector<mime::PartContent> MessageContent::*written) {
    MailRecord& record = mail(call);
    if (part_argument(call, 0, record.parts.*parsed) == nullptr) {
        return;
    }
    const auto index = static_cast<std::ptrdiff_t>(*call.args.integer(0));
    rewrite(record, [&](MessageContent& content) {
        std::vector<mime::PartContent>& parts = content.*written;
        parts.erase(parts.begin() + index);
    });
}

void remove_attachment(MemberCall& call) {
    remove_part(call, &ParsedMessage::attachments, &MessageContent::attachments);
}

void get_html_item_name(MemberCall& call) {
    if (const MimePart* part = part_argument(call, 0, mail(call).parts.items)) {
        *call.result = ansi_string(call.engine, mime::item_file_name(part->name));
    }
}

void get_html_item_id(MemberCall& call) {
    if (const MimePart* part = part_argument(call, 0, mail(call).parts.items)) {
        *call.result = ansi_string(call.engine, mime::item_content_id(part->name));
    }
}

void save_html_item(MemberCall& call) { save_part(call, mail(call).parts.items); }

void add_html_item(MemberCall& call) {
    const std::optional<std::string> path = ansi_argument(call.args, 0);
    const std::optional<std::string> id = ansi_argument(call.args, 1);
    if (!path || !id) {
        return;
    }
    std::optional<mime::PartContent> part = file_part(*path, *id);
    if (part) {
        rewrite(mail(call), [&](MessageContent& content) { content.items.push_back(std::move(*part)); });
    }
    *call.result = Value::boolean(part.has_value());
}

void remove_html_item(MemberCall& call) { remove_part(call, &ParsedMessage::items, &MessageContent::items); }

const Member members[] = {
    property("from", get_header, set_header, Needs::Instance, &from_field),
    property("replyTo", get_header, set_header, Needs::Instance, &reply_to_field),
    property("to", get_header, set_header, Needs::Instance, &to_field),
    property("subject", get_header, set_header, Needs::Instance, &subject_field),
    property("cc", get_header, set_header, Needs::Instance, &cc_field),
    property("bcc", get_header, set_header, Needs::Instance, &bcc_field),
    property("date", get_header, set_header, Needs::Instance, &date_field),
    property("priority", get_priority, set_priority, Needs::Instance),
    property("size", get_size, nullptr, Needs::Instance),
    property("text", get_text, set_text, Needs::Instance),
    property("html", get_html, set_html, Needs::Instance),
    property("attachmentCount", get_attachment_count, nullptr, Needs::Instance),
    property("htmlItemCount", get_html_item_count, nullptr, Needs::Instance),
    method("asText", as_text, Needs::Instance),
    method("load", load, Needs::Instance),
    method("save", save, Needs::Instance),
    method("getAttachmentContentType", get_attachment_content_type, Needs::Instance),
    method("getAttachmentName", get_attachment_name, Needs::Instance),
    method("saveAttachment", save_attachment, Needs::Instance),
    method("addAttachment", add_attachment, Needs::Instance),
    method("removeAttachment", remove_attachment, Needs::Instance),
    method("getHtmlItemName", get_html_item_name, Needs::Instance),
    method("getHtmlItemID", get_html_item_id, Needs::Instance),
    method("saveHtmlItem", save_html_item, Needs::Instance),
    method("addHtmlItem", add_html_item, Needs::Instance),
    method("removeHtmlItem", remove_html_item, Needs::Instance),
};

const ClassDeclaration declaration = {
    .name = "Mail",
    .class_text = "[object Mail]",
    .members = members,
    .construct = mail_construct,
    .destroy = delete_instance<MailRecord>,
};

}  // namespace

void register_mail_class(ScriptEngine* engine) { declare_class(engine, declaration); }

std::optional<MailToSend> mail_to_send(const Value& value) {
    MailRecord* record = instance_of<MailRecord>(value, declaration);
    if (record == nullptr) {
        return std::nullopt;
    }
    bring_up_to_date(*record);
    const MessageHeaders& headers = record->headers;
    return MailToSend{record->text, headers.from.value_or(""), headers.to.value_or(""), headers.cc.value_or(""),
                      headers.bcc.value_or("")};
}

Value new_mail(ScriptEngine* engine, std::string text) {
    HostClass* cls = declared_class(engine, declaration);
    auto record = std::make_unique<MailRecord>();
    record->file = create_message_file();
    if (cls == nullptr || !record->file) {
        return Value::null();
    }
    record->text = std::move(text);
    record->headers = mime::parse_headers(record->text);
    record->parts = mime::parse_message(record->text);
    record->modified = false;
    replace_file_content(record->file.get(), record->text);
    return make_instance(engine, cls, std::move(record));
}

}  // namespace tarpon::host
