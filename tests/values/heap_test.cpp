#include "engine/values/heap.h"

#include <cstring>
#include <map>

#include "engine/values/array.h"
#include "engine/values/collector.h"
#include "engine/values/heap_pages.h"
#include "engine/values/host_class.h"
#include "engine/values/property_access.h"
#include "engine/values/property_table.h"
#include "engine/values/records.h"
#include "engine_fixture.h"

namespace quill::testing {
namespace {

// A bare engine record: its collected heap is empty until the first allocation.
class HeapTest : public ::testing::Test {
protected:
    void SetUp() override { engine = create_engine_record(); }
    void TearDown() override { destroy_engine_record(engine); }
    ScriptEngine* engine = nullptr;
};

TEST_F(HeapTest, RequestsRoundToTheirClass) {
    // Blocks are 8-byte granular so that records may hold pointers and doubles; above 256 bytes a
    // block exceeds its request by at most a quarter.
    EXPECT_EQ(gc_block_size(gc_allocate(engine, 1)), 8u);
    EXPECT_EQ(gc_block_size(gc_allocate(engine, 5)), 8u);
    EXPECT_EQ(gc_block_size(gc_allocate(engine, 9)), 16u);
    EXPECT_EQ(gc_block_size(gc_allocate(engine, 100)), 104u);
    EXPECT_EQ(gc_block_size(gc_allocate(engine, 256)), 256u);
    EXPECT_EQ(gc_block_size(gc_allocate(engine, 257)), 320u);
    EXPECT_EQ(gc_block_size(gc_allocate(engine, 4096)), 4096u);
    EXPECT_EQ(gc_block_size(gc_allocate(engine, 4097)), 5120u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(gc_allocate(engine, 3)) % 8, 0u);
}

TEST_F(HeapTest, SizeClasses) {
    EXPECT_EQ(size_class(8), 0);
    EXPECT_EQ(size_class(16), 1);
    EXPECT_EQ(size_class(256), 31);
    EXPECT_EQ(size_class(312), 31);
    EXPECT_EQ(size_class(320), 32);
    EXPECT_EQ(size_class(512), 35);
    EXPECT_EQ(size_class(65528), config::size_class_count - 2);
    EXPECT_EQ(size_class(65536), config::size_class_count - 1);
    EXPECT_EQ(size_class(size_t{1} << 30), config::size_class_count - 1);
    // What the free lists rely on: a request's block size is the smallest of its class, and a class
    // holds only sizes from there up, so any block on a request's own list fits it.
    for (size_t n = 1; n <= 70000; ++n) {
        const size_t size = block_size_for(n);
        ASSERT_GE(size, n);
        ASSERT_EQ(size % 8, 0u);
        ASSERT_LE(size, n < 256 ? n + 7 : n + n / 4);
        const int c = size_class(size);
        if (size > 8 && c < config::size_class_count - 1) {
            ASSERT_LT(size_class(size - 8), c) << n;
        }
        ASSERT_GE(size_class(size + 8), c) << n;
    }
}

// The pages of a large chunk holding a block of `size` bytes.
size_t large_chunk_bytes(size_t size) {
    const size_t needed = size + chunk_header_size + block_header_size;
    return (needed + heap_page_size - 1) / heap_page_size * heap_page_size;
}

TEST_F(HeapTest, LargeRequestsGetAChunkOfTheirOwn) {
    gc_allocate(engine, 8);
    EXPECT_EQ(engine->heap.chunk_bytes, config::chunk_size);
    // The largest ordinary size still comes from the ordinary chunk.
    const size_t ordinary = config::large_block_size * 7 / 8;
    ASSERT_EQ(block_size_for(ordinary), ordinary);
    EXPECT_EQ(gc_block_size(gc_allocate(engine, ordinary)), ordinary);
    EXPECT_EQ(engine->heap.chunk_bytes, config::chunk_size);
    // One byte more rounds to the large size: whole pages of its own, all of them the block's.
    void* big = gc_allocate(engine, ordinary + 1);
    const size_t large_chunk = large_chunk_bytes(config::large_block_size);
    EXPECT_EQ(gc_block_size(big), large_chunk - chunk_header_size - block_header_size);
    EXPECT_EQ(engine->heap.chunk_bytes, config::chunk_size + large_chunk);
    std::memset(big, 1, gc_block_size(big));
    EXPECT_TRUE(gc_verify(engine));
    // Freed, it waits as a spare chunk: a large request of up to its size and at least half of it
    // takes it whole, the smallest spare chunk that fits first.
    gc_free(engine, big);
    EXPECT_EQ(engine->heap.chunk_bytes, config::chunk_size + large_chunk);
    EXPECT_TRUE(gc_verify(engine));
    void* other = gc_allocate(engine, gc_block_size(big) + 1);
    EXPECT_NE(other, big);
    EXPECT_EQ(gc_allocate(engine, config::large_block_size), big);
    EXPECT_EQ(gc_block_size(big), large_chunk - chunk_header_size - block_header_size);
    gc_free(engine, other);
    gc_free(engine, big);
    EXPECT_EQ(gc_allocate(engine, gc_block_size(big) + 1), other);  // the smallest that fits
    gc_free(engine, other);
    void* wide = gc_allocate(engine, size_t{1} << 20);
    gc_free(engine, wide);
    EXPECT_EQ(gc_allocate(engine, (size_t{1} << 19) + 1), wide);
    gc_free(engine, wide);
    EXPECT_EQ(gc_allocate(engine, config::large_block_size), big);
    gc_free(engine, big);
    EXPECT_NE(gc_allocate(engine, gc_block_size(big) / 2 - 1), big);  // an ordinary request
    EXPECT_EQ(engine->heap.chunk_bytes, config::chunk_size + large_chunk + large_chunk_bytes(327680) +
                                            large_chunk_bytes(size_t{1} << 20));
    EXPECT_TRUE(gc_verify(engine));
    // A sweep makes the chunks of dead blocks spare and gives back those that stayed spare through
    // a whole cycle; live ones stay as they are.
    auto* kept = static_cast<char*>(gc_allocate(engine, size_t{3} << 20));
    EXPECT_EQ(gc_allocate(engine, size_t{1} << 20), wide);
    kept[(size_t{3} << 20) - 1] = 7;
    const size_t kept_chunks = config::chunk_size + large_chunk_bytes(size_t{3} << 20);
    const size_t wide_chunk = large_chunk_bytes(size_t{1} << 20);
    gc_mark_block(kept);
    gc_sweep(engine);  // big and other wait a cycle; wide died
    EXPECT_EQ(engine->heap.chunk_bytes, kept_chunks + wide_chunk + large_chunk + large_chunk_bytes(327680));
    EXPECT_EQ(kept[(size_t{3} << 20) - 1], 7);
    EXPECT_TRUE(gc_verify(engine, true));
    gc_mark_block(kept);
    gc_sweep(engine);  // big and other go back
    EXPECT_EQ(engine->heap.chunk_bytes, kept_chunks + wide_chunk);
    EXPECT_TRUE(gc_verify(engine, true));
    gc_mark_block(kept);
    gc_sweep(engine);  // and wide
    EXPECT_EQ(engine->heap.chunk_bytes, kept_chunks);
    EXPECT_TRUE(gc_verify(engine, true));
    // A large block that grows moves to a larger chunk with its contents.
    auto* grown = static_cast<char*>(gc_reallocate(engine, kept, size_t{7} << 20));
    EXPECT_EQ(grown[(size_t{3} << 20) - 1], 7);
    EXPECT_TRUE(gc_verify(engine));
    gc_mark_block(grown);
    gc_sweep(engine);
    gc_mark_block(grown);
    gc_sweep(engine);
    EXPECT_EQ(engine->heap.chunk_bytes, config::chunk_size + large_chunk_bytes(size_t{7} << 20));
}

// A large block grows where it lies, keeping its contents, only when a copy would not reuse pages
// touched before: no spare chunk fits the new size and the old chunk would not be kept as one.
TEST_F(HeapTest, LargeBlocksGrowInPlaceOnlyWhenCopiesWouldNotReusePages) {
    EXPECT_EQ(gc_grow_block(engine, gc_allocate(engine, 4096), size_t{1} << 20), nullptr);  // not large
    // A block the spare chunks have room for is left to the copy.
    void* kept = gc_allocate(engine, size_t{1} << 20);
    EXPECT_EQ(gc_grow_block(engine, kept, size_t{2} << 20), nullptr);
    EXPECT_EQ(gc_block_size(kept), large_chunk_bytes(size_t{1} << 20) - chunk_header_size - block_header_size);

    // Past what the spare chunks may hold, it grows. It lies behind a newer large chunk, whose list
    // link must follow it when it moves; the marks at its ends and in between stay.
    const size_t big = size_t{33} << 20;
    auto* block = static_cast<char*>(gc_allocate(engine, big));
    void* newer = gc_allocate(engine, size_t{1} << 20);
    const size_t offsets[] = {0, big / 2, big - 1};
    for (size_t offset : offsets) {
        block[offset] = static_cast<char>(offset % 251 + 1);
    }
    const size_t chunks = engine->heap.chunk_bytes;
    const size_t first_chunk = large_chunk_bytes(gc_block_size(block));
#ifdef _WIN32
    // Windows cannot move pages to a larger region: the block is left to the copy, untouched.
    EXPECT_EQ(gc_grow_block(engine, block, size_t{41} << 20), nullptr);
    EXPECT_EQ(block[big / 2], static_cast<char>(big / 2 % 251 + 1));
    EXPECT_TRUE(gc_verify(engine));
    (void)newer;
    (void)chunks;
    (void)first_chunk;
    return;
#endif
    for (size_t wanted : {size_t{41} << 20, size_t{60} << 20, size_t{100} << 20}) {
        const size_t before = gc_block_size(block);
        const size_t handed_out = engine->heap.allocated_bytes;
        auto* grown = static_cast<char*>(gc_grow_block(engine, block, wanted));
        ASSERT_NE(grown, nullptr) << wanted;
        block = grown;
        EXPECT_GE(gc_block_size(block), wanted);
        EXPECT_EQ(gc_block_size(block), large_chunk_bytes(block_size_for(wanted)) - chunk_header_size - block_header_size);
        EXPECT_EQ(engine->heap.allocated_bytes - handed_out, gc_block_size(block) - before);  // only what was added
        for (size_t offset : offsets) {
            ASSERT_EQ(block[offset], static_cast<char>(offset % 251 + 1)) << offset;
        }
        block[gc_block_size(block) - 1] = 9;
        ASSERT_TRUE(gc_verify(engine));
    }
    EXPECT_EQ(engine->heap.chunk_bytes - chunks, large_chunk_bytes(gc_block_size(block)) - first_chunk);
    EXPECT_EQ(gc_grow_block(engine, block, 100), block);  // it holds that already

    // A sweep keeps the grown block with the others; freed, it goes back at once (too large to wait).
    gc_mark_block(block);
    gc_mark_block(newer);
    gc_mark_block(kept);
    gc_sweep(engine);
    EXPECT_TRUE(gc_verify(engine, true));
    EXPECT_EQ(block[big / 2], static_cast<char>(big / 2 % 251 + 1));
    gc_free(engine, block);
    EXPECT_EQ(engine->heap.chunk_bytes, chunks - first_chunk);
    EXPECT_TRUE(gc_verify(engine));
}

TEST_F(HeapTest, DeadNeighboursMerge) {
    void* a = gc_allocate(engine, 8);
    void* b = gc_allocate(engine, 16);
    void* c = gc_allocate(engine, 8);
    ASSERT_EQ(static_cast<char*>(b), static_cast<char*>(a) + 8 + block_header_size);
    gc_mark_block(c);
    gc_sweep(engine);
    // 8 + 16 and the header absorbed between them.
    EXPECT_EQ(gc_block_size(a), 8u + 16u + block_header_size);
    EXPECT_FALSE(gc_is_marked(c));
    EXPECT_EQ(engine->heap.allocated_bytes, 8u);  // the size of the last survivor, not a total
    EXPECT_TRUE(gc_verify(engine));
    // The merged block serves a request of its size.
    EXPECT_EQ(gc_allocate(engine, 32), a);
}

TEST_F(HeapTest, FreedBlocksAreReusedAndSplit) {
    void* a = gc_allocate(engine, 64);
    gc_free(engine, a);
    EXPECT_EQ(gc_allocate(engine, 64), a);
    void* big = gc_allocate(engine, 1024);
    gc_free(engine, big);
    // Smaller requests are carved from the chunk's open rest first; once it is used up, they are
    // split off the front of the freed block before any new chunk is taken.
    const size_t chunks = engine->heap.chunk_bytes;
    void* small = nullptr;
    for (size_t i = 0; i < config::chunk_size / 16 && small != big; ++i) {
        small = gc_allocate(engine, 8);
        ASSERT_EQ(engine->heap.chunk_bytes, chunks);
        if (i % 8192 == 0) {
            ASSERT_TRUE(gc_verify(engine));
        }
    }
    EXPECT_EQ(small, big);
    EXPECT_EQ(gc_block_size(small), 8u);
    EXPECT_TRUE(gc_verify(engine));
}

// A request its class's list cannot serve moves the open block to its list and takes the rest of
// the block found as the new open block; a sweep merges the open block with its dead neighbours.
TEST_F(HeapTest, TheOpenBlockMovesAndMerges) {
    void* a = gc_allocate(engine, 64);
    void* b = gc_allocate(engine, 64);
    EXPECT_EQ(static_cast<char*>(b), static_cast<char*>(a) + 64 + block_header_size);
    // Blocks of the largest ordinary size until one no longer fits the first chunk's rest: that one
    // comes from a new chunk, and the first chunk's rest waits on its list.
    const size_t ordinary = config::large_block_size * 7 / 8;
    char* rest = static_cast<char*>(b) + 64 + block_header_size;
    void* second = nullptr;
    while (second == nullptr) {
        void* block = gc_allocate(engine, ordinary);
        if (engine->heap.chunk_bytes == config::chunk_size) {
            rest = static_cast<char*>(block) + ordinary + block_header_size;
        } else {
            second = block;
        }
    }
    EXPECT_EQ(engine->heap.chunk_bytes, 2 * config::chunk_size);
    EXPECT_TRUE(gc_verify(engine));
    // A request of the smallest size of the rest's class finds it on its list.
    const size_t rest_size = gc_block_size(rest);
    size_t request = rest_size;
    while (size_class(request - 8) == size_class(rest_size)) {
        request -= 8;
    }
    EXPECT_EQ(gc_allocate(engine, request), rest);
    EXPECT_TRUE(gc_verify(engine));
    gc_mark_block(a);
    gc_mark_block(second);
    gc_sweep(engine);
    EXPECT_TRUE(gc_verify(engine, true));
    // Everything behind a in the first chunk became one free block.
    EXPECT_EQ(gc_block_size(b), config::chunk_size - chunk_header_size - 2 * block_header_size - 64);
}

TEST_F(HeapTest, ReallocateKeepsContents) {
    auto* block = static_cast<char*>(gc_allocate(engine, 6));
    std::memcpy(block, "hello", 6);
    EXPECT_EQ(gc_reallocate(engine, block, 8), block);
    auto* grown = static_cast<char*>(gc_reallocate(engine, block, 100));
    EXPECT_NE(grown, block);
    EXPECT_STREQ(grown, "hello");
    EXPECT_NE(gc_reallocate(engine, nullptr, 4), nullptr);
}

// The check the collector stress mode runs after every sweep finds each kind of damage.
TEST_F(HeapTest, VerifierFindsDamage) {
    void* a = gc_allocate(engine, 16);
    void* b = gc_allocate(engine, 16);
    void* c = gc_allocate(engine, 16);
    gc_allocate(engine, 16);  // keeps c away from the chunk's free rest
    EXPECT_TRUE(gc_verify(engine, true));

    gc_mark_block(a);  // a mark the sweep did not clear
    EXPECT_FALSE(gc_verify(engine));
    gc_sweep(engine);
    EXPECT_TRUE(gc_verify(engine, true));

    a = gc_allocate(engine, 16);
    b = gc_allocate(engine, 16);
    c = gc_allocate(engine, 16);
    auto* header = reinterpret_cast<uint64_t*>(static_cast<char*>(b) - block_header_size);
    uint64_t saved = *header;
    *header = saved + (8 << 3);  // a size that no longer tiles the chunk
    EXPECT_FALSE(gc_verify(engine));
    *header = saved;

    // Freed neighbours are fine between collections but would have been merged by a sweep.
    gc_free(engine, a);
    gc_free(engine, b);
    EXPECT_TRUE(gc_verify(engine));
    EXPECT_FALSE(gc_verify(engine, true));

    gc_free(engine, c);
    gc_free(engine, c);  // on its free list twice
    EXPECT_FALSE(gc_verify(engine));
    gc_sweep(engine);
    EXPECT_TRUE(gc_verify(engine, true));

    // A free list that leads out of the heap.
    a = gc_allocate(engine, 16);
    char elsewhere[32] = {};
    gc_free(engine, a);
    *static_cast<void**>(a) = elsewhere + block_header_size;
    EXPECT_FALSE(gc_verify(engine));
    *static_cast<void**>(a) = nullptr;
}

TEST_F(HeapTest, HugeRequestsRaiseOutOfMemory) {
    EXPECT_FALSE(run_protected(engine, [&] { gc_allocate(engine, size_t{1} << 62); }));
    EXPECT_STREQ(engine->message, "Runtime error: Out of memory");
}

// Collector behaviour, with stand-in handlers and host classes that count their destroyed instances.
class CollectorTest : public EngineTest {
protected:
    static std::map<void*, int>& destroyed() {
        static std::map<void*, int> counts;
        return counts;
    }
    void SetUp() override {
        EngineTest::SetUp();
        destroyed().clear();
        cls = new_host_class(engine);
        cls->destroy = [](HostClass*, void* instance) { ++destroyed()[instance]; };
        global("Counted") = make_host_object(engine, cls, nullptr);
    }
    Value instance(int* data) { return make_host_object(engine, cls, data); }
    size_t collect_now() { return collect(engine, engine->stack.saved_top); }

    HostClass* cls = nullptr;
};

TEST_F(CollectorTest, UnreachableCyclesAreReclaimed) {
    int a_data = 0, b_data = 0, kept_data = 0;
    Value a = instance(&a_data);
    Value b = instance(&b_data);
    table_put(engine, a.payload.host->properties, intern(engine, "peer"), b);
    table_put(engine, b.payload.host->properties, intern(engine, "peer"), a);
    global("kept") = instance(&kept_data);

    collect_now();
    EXPECT_EQ(destroyed()[&a_data], 1);
    EXPECT_EQ(destroyed()[&b_data], 1);
    EXPECT_EQ(destroyed().count(&kept_data), 0u);
    EXPECT_EQ(engine->heap.collection_count, 1u);
    EXPECT_TRUE(gc_verify(engine));
}

TEST_F(CollectorTest, RootsKeepWhatTheyReach) {
    int in_constant = 0, on_stack = 0, in_array = 0, in_with = 0, behind_string = 0, behind_function = 0;
    add_constant(engine, instance(&in_constant));

    auto* array = static_cast<ArrayRecord*>(gc_allocate(engine, sizeof(ArrayRecord)));
    *array = ArrayRecord{};
    array->length = uint64_t{1} << 40;
    array_put(engine, array, 130, instance(&in_array));
    array_put(engine, array, array->length - 1, instance(&in_array));
    global("list") = Value::array(array);

    Value s = str("s");
    table_put(engine, own_table_of(engine, s), intern(engine, "x"), instance(&behind_string));
    global("s") = s;

    auto* function = static_cast<FunctionObject*>(gc_allocate(engine, sizeof(FunctionObject)));
    *function = FunctionObject{nullptr, new_table(engine)};
    table_put(engine, function->properties, intern(engine, "x"), instance(&behind_function));
    global("f") = Value::function(function);

    // A stack holding one value and one four-cell frame whose with-scope list holds another.
    auto* list = static_cast<WithList*>(gc_allocate(engine, sizeof(WithList) + sizeof(Value)));
    list->count = 1;
    list->capacity = 1;
    list->items()[0] = instance(&in_with);
    Value* top = engine->stack.saved_top;
    *top-- = instance(&on_stack);
    *top-- = Value::with_tag(Tag::FrameMark);  // caller frame
    *top-- = Value::with_tag(Tag::FrameSlot);
    Value with = Value::with_tag(Tag::FrameMark);
    with.payload.pointer = list;
    *top-- = with;
    *top-- = Value::with_tag(Tag::FrameMark);  // resume position

    collect(engine, top);
    EXPECT_TRUE(destroyed().empty());
    collect(engine, engine->stack.saved_top);  // the stack cells are gone now
    EXPECT_EQ(destroyed()[&on_stack], 1);
    EXPECT_EQ(destroyed()[&in_with], 1);
    EXPECT_EQ(destroyed().size(), 2u);
}

TEST_F(CollectorTest, StaticStringCharactersAreNeverTouched) {
    static const char16_t chars[] = u"constant";
    Value constant = make_static_string(engine, chars, 8);
    add_constant(engine, Value::string(make_string_buffer(engine, 0)));  // an empty string has no buffer
    global("c") = constant;
    collect_now();
    collect_now();
    EXPECT_EQ(constant.payload.string->chars, chars);
    EXPECT_EQ(text(constant), "constant");
}

TEST_F(CollectorTest, LongChainsAreMarkedWithoutRecursion) {
    int tail_data = 0;
    Value tail = instance(&tail_data);
    Value head = tail;
    for (int i = 0; i < 200000; ++i) {
        PropertyTable* link = new_table(engine);
        table_put(engine, link, intern(engine, "next"), head);
        table_put(engine, link, intern(engine, "other"), Value::object(new_table(engine)));
        head = Value::object(link);
    }
    global("head") = head;
    collect_now();
    EXPECT_TRUE(destroyed().empty());
}

TEST_F(CollectorTest, ClassMarkHandlersKeepInstanceValues) {
    struct Holder {
        Value held;
    };
    cls->mark = [](ScriptEngine* e, HostClass*, void* instance) {
        if (instance != nullptr) {
            mark_value(e, static_cast<Holder*>(instance)->held);
        }
    };
    int held_data = 0;
    static Holder holder;
    holder.held = instance(&held_data);
    global("holder") = instance(reinterpret_cast<int*>(&holder));
    collect_now();
    EXPECT_EQ(destroyed().count(&held_data), 0u);
}

TEST_F(CollectorTest, DestroyRunsEveryDestroyHandlerOnce) {
    int data[5] = {};
    for (int& d : data) {
        global("keep" + std::to_string(&d - data)) = instance(&d);
    }
    instance(&data[0]);  // a second, unreachable instance of the same data
    collect_now();
    EXPECT_EQ(destroyed()[&data[0]], 1);
    destroy_engine_record(engine);
    engine = nullptr;
    EXPECT_EQ(destroyed()[&data[0]], 2);
    for (int i = 1; i < 5; ++i) {
        EXPECT_EQ(destroyed()[&data[i]], 1);
    }
}

TEST_F(CollectorTest, InstancesDieBeforeTheirClass) {
    static bool class_alive;
    class_alive = true;
    static int* user_data;
    user_data = new int(7);
    HostClass* late = new_host_class(engine);
    late->user_data = user_data;
    late->user_data_finalizer = [](void* data) {
        class_alive = false;
        delete static_cast<int*>(data);
    };
    late->destroy = [](HostClass* owner, void*) {
        EXPECT_TRUE(class_alive);
        EXPECT_EQ(*static_cast<int*>(owner->user_data), 7);
    };
    static int data;
    global("i") = make_host_object(engine, late, &data);
    destroy_engine_record(engine);
    engine = nullptr;
    EXPECT_FALSE(class_alive);
}

TEST_F(CollectorTest, HookAnswersStopTheRun) {
    static int calls;
    calls = 0;
    engine->hook = [](int code, void*) {
        ++calls;
        return code == 2 ? 7 : 0;
    };
    EXPECT_FALSE(run_protected(engine, [&] { collect_now(); }));
    EXPECT_EQ(calls, 1);
    EXPECT_STREQ(engine->message, "Runtime error: hook break 7");
    engine->hook = [](int, void*) { return 0; };
    EXPECT_TRUE(run_protected(engine, [&] { collect_now(); }));
}

TEST_F(CollectorTest, CollectionIsDueAfterTheThreshold) {
    engine->heap.allocated_bytes = 0;
    EXPECT_FALSE(collection_due(engine));
    while (!collection_due(engine)) {
        str("some text to fill the heap");
    }
    collect_now();
    EXPECT_FALSE(collection_due(engine));
    EXPECT_TRUE(gc_verify(engine));
}

// A collection marks everything alive: the next one waits until the heap has grown by as much as
// survived, and never for less than the threshold.
TEST_F(CollectorTest, TheNextCollectionWaitsForTheHeapToGrowByWhatSurvived) {
    auto allocate_up_to = [&](size_t bytes) {
        while (engine->heap.allocated_bytes < bytes) {
            str("text that nothing keeps");
        }
    };
    global("big") = Value::string(make_string_buffer(engine, size_t{4} << 20));  // 8 MiB of characters
    size_t live = collect_now();
    ASSERT_GT(live, size_t{8} << 20);
    allocate_up_to(2 * config::collection_threshold);
    EXPECT_FALSE(collection_due(engine));
    allocate_up_to(live - 1024);
    EXPECT_FALSE(collection_due(engine));
    allocate_up_to(live);
    EXPECT_TRUE(collection_due(engine));

    global("big") = Value::undefined();
    collect_now();
    allocate_up_to(config::collection_threshold - 1024);
    EXPECT_FALSE(collection_due(engine));
    allocate_up_to(config::collection_threshold);
    EXPECT_TRUE(collection_due(engine));

    // A threshold of 0 collects at every collection point, whatever survived.
    global("big") = Value::string(make_string_buffer(engine, size_t{4} << 20));
    engine->heap.threshold = 0;
    collect_now();
    EXPECT_TRUE(collection_due(engine));
}

}  // namespace
}  // namespace quill::testing
