// Dependants lists, the death notice, the clean-up set and the error reporter.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kinetic/collide/error.h"
#include "kinetic/collide/kinetic_object.h"
#include "kinetic/collide/kinetic_object_cleanup.h"

using namespace Kinetic;

namespace {

// Records every notification; optionally removes entries from the sender while being notified.
class Recorder : public KineticObject {
public:
    explicit Recorder(std::vector<std::string>* log, std::string name)
        : m_log(log), m_name(std::move(name)) {}
    int onNotify(ReferenceObject* sender, int id, Message message) override {
        m_log->push_back(m_name + ":" + std::to_string(id) + ":" + std::to_string(message));
        if (m_removeOnNotify) {
            sender->removeAllDependancy(this);
            if (m_alsoRemove) sender->removeAllDependancy(m_alsoRemove);
        }
        return m_answer;
    }
    std::vector<std::string>* m_log;
    std::string m_name;
    bool m_removeOnNotify = false;
    ReferenceObject* m_alsoRemove = nullptr;
    int m_answer = 0;
};

// Holds a list of references, for checkCycle and destroyReferences.
class Holder : public KineticObject {
public:
    int getNumReferences() const override { return static_cast<int>(m_refs.size()); }
    ReferenceObject* getReference(int i) const override {
        return i < static_cast<int>(m_refs.size()) ? m_refs[i] : nullptr;
    }
    std::vector<ReferenceObject*> m_refs;
};

}  // namespace

TEST(ReferenceObjectTest, SelfRemovalDuringPassStillNotifiesEveryRemainingEntryOnce) {
    std::vector<std::string> log;
    Recorder a(&log, "a"), b(&log, "b"), c(&log, "c"), d(&log, "d");
    KineticObject subject;  // dies first: its death notice reaches only live dependants
    subject.addDependant(&a, 0);
    subject.addDependant(&b, 1);
    subject.addDependant(&c, 2);
    subject.addDependant(&d, 3);
    // b removes itself and c; a and d must each still be told exactly once.
    b.m_removeOnNotify = true;
    b.m_alsoRemove = &c;
    subject.notifyDependants(3);
    EXPECT_EQ(log, (std::vector<std::string>{"a:0:3", "b:1:3", "d:3:3"}));
}

TEST(KineticObjectCleanupTest, NotifiesThenDeletesInRememberOrder) {
    static std::vector<std::string> deaths;
    deaths.clear();
    struct Tracked : KineticObject {
        explicit Tracked(std::string n) : name(std::move(n)) {}
        ~Tracked() override { deaths.push_back(name); }
        std::string name;
    };
    std::vector<std::string> log;
    Recorder watcher(&log, "w");
    auto* first = new Tracked("first");
    auto* second = new Tracked("second");
    auto* kept = new Tracked("kept");
    first->addDependant(&watcher, 1);
    {
        KineticObjectCleanup set;
        set.cleanup();  // empty: nothing happens
        set.remember(second);
        set.remember(first);
        set.remember(second);  // no duplicate
        set.remember(kept);
        set.forget(kept);
        set.forget(kept);  // not remembered any more: no effect
        EXPECT_EQ(set.size(), 2u);
    }
    EXPECT_EQ(deaths, (std::vector<std::string>{"second", "first"}));
    EXPECT_EQ(log, (std::vector<std::string>{"w:1:1"}));  // told once, before deletion
    delete kept;
}

TEST(ErrorTest, WarningWritesBannerThenMessage) {
    testing::internal::CaptureStderr();
    g_pGlobalErrorHandler->warning("x", 7);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "*** WARNING [7] ***\nx\n");
}

TEST(ErrorDeathTest, FatalExitsWithCode) {
    EXPECT_EXIT(ErrorHandler.fatal("broken", 3), testing::ExitedWithCode(3),
                "\\*\\*\\* FATAL ERROR \\[3\\] \\*\\*\\*\nbroken");
}
