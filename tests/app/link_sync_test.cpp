// Two instances of the program in one Ableton Link session, on a network of
// the test's own: they share the tempo, start and stop together, and their
// hits fall on the same moments.

#include "link_rig.h"
#include "support/private_network.h"

#include <QImage>

#include <memory>

namespace qx375::test {
namespace {

using namespace std::chrono_literals;

struct LinkedInstances : ::testing::Test {
    void SetUp() override {
        const std::string outside = outside_interfaces();
        ASSERT_TRUE(outside.empty()) << "Link would announce itself on " << outside
                                     << "; run this test through tests/support/private_network.sh";
        QImage glyph(16, 16, QImage::Format_RGB32);
        glyph.fill(Qt::green);
        glyph.save("go2.bmp");
        glyph.save("stop2.bmp");
        leader = std::make_unique<Instance>();
        follower = std::make_unique<Instance>();
    }

    ScratchRig files;
    std::unique_ptr<Instance> leader;
    std::unique_ptr<Instance> follower;
};

TEST_F(LinkedInstances, ShareTempoStartStopAndTheirHitsMoments) {
    leader->choose("SyncLead1");
    leader->choose("SyncLink1");
    follower->choose("SyncFollow1");
    follower->choose("SyncLink1");
    ASSERT_TRUE(wait_for([&] { return follower->title().contains("1 other"); }, 10s))
        << follower->title().toStdString();

    // 100 is 133.9 BPM at 16 steps: within one beat, the follower's slider
    // shows it too.
    leader->tempo()->setValue(100);
    ASSERT_TRUE(wait_for([&] { return follower->tempo()->value() == 100; }, 450ms));

    leader->press_play();
    ASSERT_TRUE(wait_for([&] { return follower->playing() && leader->playing(); }, 3s));
    QTest::qWait(8000);
    follower->press_play(); // a stop from either stops both
    ASSERT_TRUE(wait_for([&] { return !follower->playing() && !leader->playing(); }, 2s));

    const auto led = leader->hits();
    const auto followed = follower->hits();
    ASSERT_GE(led.size(), 20u);
    ASSERT_LE(std::abs(static_cast<int>(led.size()) - static_cast<int>(followed.size())), 1);
    const HitsApart apart = hits_apart(led, followed);
    EXPECT_GE(apart.matched + 1, led.size());
    EXPECT_LT(apart.widest_ms, 1.0) << "ms between the two instances' hits";
    RecordProperty("widest_apart_us", static_cast<int>(apart.widest_ms * 1000));

    // The leader goes away: the follower says so and goes on.
    leader.reset();
    EXPECT_TRUE(wait_for([&] { return follower->title().contains("0 other"); }, 5s))
        << follower->title().toStdString();
    follower->press_play();
    EXPECT_TRUE(wait_for([&] { return follower->playing(); }, 3s));
    follower->press_play();
}

} // namespace
} // namespace qx375::test
