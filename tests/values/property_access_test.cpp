#include "engine/values/property_access.h"

#include "engine/values/host_class.h"
#include "engine/values/property_table.h"
#include "engine/values/records.h"
#include "engine_fixture.h"

namespace quill::testing {
namespace {

class PropertyAccessTest : public EngineTest {
protected:
    Atom atom(std::string_view name) { return intern(engine, name); }
    Value get(const Value& target, std::string_view name) {
        Value out;
        get_property(engine, target, atom(name), &out);
        return out;
    }
};

// Handles only the property "size": reads give 10, writes are swallowed.
bool size_property(ScriptEngine* engine, HostClass*, void*, const Value&, Atom name, PropertyMode mode, Value* value) {
    if (name != intern(engine, "size")) {
        return false;
    }
    if (mode == PropertyMode::Get) {
        *value = Value::integer(10);
    }
    return true;
}

TEST_F(PropertyAccessTest, HostObjectsAskTheirClassFirst) {
    HostClass* cls = new_host_class(engine);
    cls->property = size_property;
    table_put(engine, cls->prototype, atom("shared"), Value::integer(1));
    static int instance_data;
    Value host = make_host_object(engine, cls, &instance_data);

    EXPECT_EQ(get(host, "size").payload.integer, 10);
    EXPECT_EQ(get(host, "shared").payload.integer, 1);  // through the own table's "__proto__"
    EXPECT_TRUE(set_property(engine, host, atom("size"), Value::integer(3)));
    EXPECT_EQ(get(host, "size").payload.integer, 10);

    EXPECT_TRUE(set_property(engine, host, atom("mine"), Value::integer(4)));
    EXPECT_EQ(get(host, "mine").payload.integer, 4);
    Value shared;
    EXPECT_FALSE(table_get_own(cls->prototype, atom("mine"), &shared));  // stored in the own table

    Value proto = get(host, "__proto__");
    ASSERT_EQ(proto.tag, Tag::Object);
    EXPECT_EQ(proto.payload.table, host.payload.host->properties);
    EXPECT_TRUE(warnings.empty());
}

TEST_F(PropertyAccessTest, ClassObjectsUseThePrototypeTable) {
    HostClass* cls = new_host_class(engine);
    cls->property = size_property;
    Value class_object = make_host_object(engine, cls, nullptr);
    EXPECT_EQ(class_object.payload.host->properties, nullptr);
    EXPECT_TRUE(set_property(engine, class_object, atom("constant"), Value::integer(8)));
    Value found;
    EXPECT_TRUE(table_get_own(cls->prototype, atom("constant"), &found));
    EXPECT_EQ(get(class_object, "__proto__").payload.table, cls->prototype);
}

TEST_F(PropertyAccessTest, HostObjectWarnings) {
    HostClass* plain = new_host_class(engine);
    static int data;
    Value host = make_host_object(engine, plain, &data);
    // No property handler: writes are refused with a warning.
    EXPECT_FALSE(set_property(engine, host, atom("x"), Value::integer(1)));
    EXPECT_EQ(warnings, std::vector<std::string>{"Warning: using undefined property \"x\""});
    Value out;
    EXPECT_FALSE(get_property(engine, host, atom("x"), &out));
    EXPECT_EQ(out.tag, Tag::Undefined);

    warnings.clear();
    HostClass* cls = new_host_class(engine);
    cls->property = size_property;
    Value other = make_host_object(engine, cls, &data);
    PropertyTable* before = other.payload.host->properties;
    EXPECT_FALSE(set_property(engine, other, atom_proto, Value::integer(5)));
    EXPECT_EQ(warnings, std::vector<std::string>{"Warning: can't set property \"__proto__\" with a wrong type"});
    EXPECT_EQ(other.payload.host->properties, before);

    PropertyTable* replacement = new_table(engine);
    EXPECT_TRUE(set_property(engine, other, atom_proto, Value::object(replacement)));
    EXPECT_EQ(other.payload.host->properties, replacement);
}

TEST_F(PropertyAccessTest, ValueTypesUseTheirHandlerAndOwnTable) {
    HostClass* string_class = engine->type_handlers[static_cast<int>(Tag::String)];
    table_put(engine, string_class->prototype, atom("shared"), Value::integer(1));
    Value s = str("text");
    EXPECT_EQ(get(s, "shared").payload.integer, 1);
    EXPECT_EQ(s.payload.string->properties, nullptr);

    EXPECT_TRUE(set_property(engine, s, atom("tag"), Value::integer(2)));
    ASSERT_NE(s.payload.string->properties, nullptr);
    EXPECT_EQ(table_prototype(s.payload.string->properties), string_class->prototype);
    EXPECT_EQ(get(s, "tag").payload.integer, 2);
    EXPECT_EQ(get(s, "__proto__").payload.table, s.payload.string->properties);

    // Numbers and booleans cannot hold properties.
    EXPECT_FALSE(set_property(engine, Value::integer(3), atom("x"), Value::integer(1)));
    EXPECT_FALSE(set_property(engine, Value::undefined(), atom("y"), Value::integer(1)));
    EXPECT_EQ(warnings, (std::vector<std::string>{"Warning: using undefined property \"x\"",
                                                  "Warning: using undefined property \"y\""}));
    Value out;
    EXPECT_FALSE(get_property(engine, Value::null(), atom("x"), &out));
}

TEST_F(PropertyAccessTest, FunctionsGetAnOwnTableOnFirstWrite) {
    auto* function = static_cast<FunctionObject*>(gc_allocate(engine, sizeof(FunctionObject)));
    *function = FunctionObject{nullptr, nullptr};
    Value f = Value::function(function);
    Value out;
    EXPECT_FALSE(get_property(engine, f, atom("x"), &out));  // no Function class yet: not found
    EXPECT_FALSE(set_property(engine, f, atom_proto, Value::integer(1)));
    EXPECT_TRUE(set_property(engine, f, atom("x"), Value::integer(1)));
    EXPECT_NE(function->properties, nullptr);
}

TEST_F(PropertyAccessTest, ConditionalSetStoresOnlyExistingNames) {
    PropertyTable* prototype = new_table(engine);
    table_put(engine, prototype, atom("inherited"), Value::integer(1));
    Value object = Value::object(new_table_with_prototype(engine, prototype));
    EXPECT_FALSE(conditional_set_property(engine, object, atom("absent"), Value::integer(2)));
    EXPECT_EQ(get(object, "absent").tag, Tag::Undefined);
    EXPECT_TRUE(conditional_set_property(engine, object, atom("inherited"), Value::integer(3)));
    Value own;
    EXPECT_TRUE(table_get_own(object.payload.table, atom("inherited"), &own));  // put into the own table
    EXPECT_EQ(own.payload.integer, 3);

    HostClass* cls = new_host_class(engine);
    table_put(engine, cls->prototype, atom("shared"), Value::integer(1));
    static int data;
    Value host = make_host_object(engine, cls, &data);
    EXPECT_TRUE(conditional_set_property(engine, host, atom("shared"), Value::integer(4)));
    EXPECT_TRUE(table_get_own(cls->prototype, atom("shared"), &own));
    EXPECT_EQ(own.payload.integer, 4);
    EXPECT_FALSE(conditional_set_property(engine, host, atom("other"), Value::integer(4)));
    EXPECT_FALSE(conditional_set_property(engine, str("s"), atom("other"), Value::integer(4)));
    EXPECT_TRUE(warnings.empty());
}

}  // namespace
}  // namespace quill::testing
