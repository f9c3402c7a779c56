#include <gtest/gtest.h>

#include "doctest_util.h"

namespace {

class StoreListeners : public ::testing::Test, public TDocFixture {
protected:
    void SetUp() override { LoadSamples(1, std::vector<int16_t>(2000, 100)); }
    // Attaches a listener under `owner` that records `name` and whether the store was still there.
    void Attach(const void* owner, const std::string& name) {
        doc.AttachStoreListener(owner, [this, name] {
            calls.push_back(name + (doc.Store() ? " with store" : " without store"));
        });
    }
    std::vector<std::string> calls;
    int a = 0, b = 0, c = 0;
};

TEST_F(StoreListeners, EveryListenerLetsGoBeforeTheStoreIsReplacedInAttachOrder) {
    Attach(&a, "a");
    Attach(&b, "b");
    doc.Invert();
    Wait();
    EXPECT_EQ(calls, (std::vector<std::string>{"a with store", "b with store"}));
    calls.clear();
    doc.Undo();
    Wait();
    doc.Redo();
    Wait();
    doc.Close();
    EXPECT_EQ(calls.size(), 6u);
    for (const std::string& call : calls) EXPECT_NE(call.find("with store"), std::string::npos);
}

TEST_F(StoreListeners, AttachingAgainReplacesOnlyThatOwnersListener) {
    Attach(&a, "a");
    Attach(&b, "b");
    Attach(&a, "a2");
    doc.Close();
    EXPECT_EQ(calls, (std::vector<std::string>{"a2 with store", "b with store"}));
}

TEST_F(StoreListeners, DetachedListenersAreNotCalled) {
    Attach(&a, "a");
    Attach(&b, "b");
    doc.DetachStoreListener(&a);
    EXPECT_FALSE(doc.HasStoreListener(&a));
    EXPECT_TRUE(doc.HasStoreListener(&b));
    doc.Close();
    EXPECT_EQ(calls, (std::vector<std::string>{"b with store"}));
}

TEST_F(StoreListeners, AListenerMayDetachItselfAndOthersWhileCalled) {
    doc.AttachStoreListener(&a, [this] {
        calls.push_back("a");
        doc.DetachStoreListener(&a);
        doc.DetachStoreListener(&b);
    });
    Attach(&b, "b");
    Attach(&c, "c");
    doc.Close();
    EXPECT_EQ(calls, (std::vector<std::string>{"a", "c with store"}));
    EXPECT_FALSE(doc.HasStoreListener(&a));
}

}  // namespace
