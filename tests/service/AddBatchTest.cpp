// The add batch: counts, row updates, progress texts and the saved list.
#include "ServiceFixture.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "addobject/AddObject.h"
#include "platform/textRoutines.h"

namespace qingtong::test {
namespace {

class RecordingView : public AddView {
public:
    explicit RecordingView(Text input) : m_input(std::move(input)) {}
    Text inputText() override { return m_input; }
    void setButtonEnabled(bool enabled) override { events.push_back(enabled ? "enabled" : "disabled"); }
    void setLabel(const Text& text) override { events.push_back("label " + ansiToUtf8(text)); }
    void setStatus(const Text& text) override { events.push_back("status " + ansiToUtf8(text)); }

    std::vector<std::string> events;

private:
    Text m_input;
};

class AddBatch : public ServiceTest {
protected:
    void SetUp() override
    {
        ServiceTest::SetUp();
        char pattern[] = "/tmp/qingtong-addbatch-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        context.runDirectory = dir;
        fake.addUserShortLink("kP9xQ2mZr7L", liveUser().secUid);
        fake.addUserShareCode("aB3dE5fG7hJ", offlineUser().secUid);
    }
    void TearDown() override
    {
        std::filesystem::remove_all(dir);
        ServiceTest::TearDown();
    }

    void addRows(int count, const std::string& userIdOfLast = "")
    {
        for (int i = 0; i < count; ++i) {
            const int row = context.list.insertRow();
            context.list.setCell(row, CellSerial, numberText(row + 1));
            context.list.setCell(row, CellNickname, "n" + numberText(i));
            context.list.setCell(row, CellAccount, "a" + numberText(i));
            context.list.setCell(row, CellUserId, i == count - 1 && !userIdOfLast.empty() ? userIdOfLast : "100" + numberText(i));
            context.list.setCell(row, CellLiveState, "kept");
        }
    }

    BatchCounts run(const std::vector<Text>& lines, RecordingView** viewOut = nullptr)
    {
        Text input;
        for (const Text& l : lines)
            input += l + "\r\n";
        view = std::make_unique<RecordingView>(input);
        if (viewOut)
            *viewOut = view.get();
        return addObjectBatch(context, *view);
    }

    std::string savedList() const
    {
        std::ifstream in(dir + "/userList.txt", std::ios::binary);
        std::ostringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }

    std::string dir;
    AppContext context;
    std::unique_ptr<RecordingView> view;
};

TEST_F(AddBatch, CountsSuccessesAndFailures)
{
    const Text user = fake.shortLinkUrl("kP9xQ2mZr7L");
    const Text code = gbk("看看##aB3dE5fG7hJ##");
    const Text bad = "https://" + fake.host() + "/Unknown1/";
    struct Case {
        const char* name;
        std::vector<Text> lines;
        int success;
        int failure;
        int rows;
    };
    const Case cases[] = {
        {"empty input", {}, 0, 0, 0},
        {"three lines: one empty, one failing", {user, "", bad}, 1, 1, 1},
        {"blank lines are skipped", {"   ", gbk("　　"), code}, 1, 0, 1},
        {"same user twice", {user, "  " + user}, 2, 0, 1},
        {"two users", {user, code}, 2, 0, 2},
        {"instruction text left in the box", {gbk("支持格式如下："), gbk("用户主页口令（app口令）")}, 0, 2, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        context.list.clear();
        const BatchCounts counts = run(c.lines);
        EXPECT_EQ(counts.success, c.success);
        EXPECT_EQ(counts.failure, c.failure);
        EXPECT_EQ(context.list.rowCount(), c.rows);
        const std::string done = "添加完毕 -> 成功：" + std::to_string(c.success) + "   失败：" + std::to_string(c.failure);
        ASSERT_GE(view->events.size(), 3u);
        EXPECT_EQ(view->events.front(), "disabled");
        EXPECT_EQ(view->events[1], "label 正在添加..");
        EXPECT_EQ(view->events[view->events.size() - 3], "status " + done);
        EXPECT_EQ(view->events[view->events.size() - 2], "label " + done);
        EXPECT_EQ(view->events.back(), "enabled");
    }
}

TEST_F(AddBatch, ShowsEachLineItResolves)
{
    RecordingView* v = nullptr;
    run({"  " + fake.shortLinkUrl("kP9xQ2mZr7L") + "  ", "", gbk("看看##aB3dE5fG7hJ##")}, &v);
    std::vector<std::string> statuses;
    for (const std::string& e : v->events)
        if (e.rfind("status ", 0) == 0)
            statuses.push_back(e.substr(7));
    const std::vector<std::string> expected = {
        "正在解析 -> " + fake.shortLinkUrl("kP9xQ2mZr7L"),
        "正在解析 -> 看看##aB3dE5fG7hJ##",
        "添加完毕 -> 成功：2   失败：0",
    };
    EXPECT_EQ(statuses, expected);
}

TEST_F(AddBatch, NewRowGoesAtTheEndAndTheListIsSaved)
{
    addRows(7);
    run({fake.shortLinkUrl("kP9xQ2mZr7L")});
    ASSERT_EQ(context.list.rowCount(), 8);
    EXPECT_EQ(context.list.cell(7, CellSerial), "8");
    EXPECT_EQ(context.list.cell(7, CellNickname), gbk("青桐主播") + "?");
    EXPECT_EQ(context.list.cell(7, CellAccount), "qingtong.tv");
    EXPECT_EQ(context.list.cell(7, CellUserId), "58712345678");
    EXPECT_EQ(context.list.cell(7, CellLiveState), "");
    const std::string saved = savedList();
    EXPECT_NE(saved.find(gbk("青桐主播") + "?--qingtong.tv--58712345678\r\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("n0--a0--1000\r\n"), std::string::npos);
}

TEST_F(AddBatch, ListedUserIsUpdatedInPlace)
{
    addRows(5, "3456789012345678901");  // the user is row 4 (0-based) with stale texts
    context.list.setCell(4, CellSerial, "");
    run({gbk("##aB3dE5fG7hJ##")});
    ASSERT_EQ(context.list.rowCount(), 5);
    EXPECT_EQ(context.list.cell(4, CellSerial), "5");
    EXPECT_EQ(context.list.cell(4, CellNickname), gbk("安静的人"));
    EXPECT_EQ(context.list.cell(4, CellAccount), "98765");
    EXPECT_EQ(context.list.cell(4, CellLiveState), "kept");  // run state untouched
}

TEST_F(AddBatch, FailedLinesChangeNothing)
{
    addRows(2);
    const auto before = context.list.snapshot();
    fake.setFailure(FakeService::Endpoint::Any, FakeService::Failure::NotJson);
    const BatchCounts counts = run({fake.shortLinkUrl("kP9xQ2mZr7L"), gbk("##aB3dE5fG7hJ##")});
    EXPECT_EQ(counts.failure, 2);
    EXPECT_EQ(context.list.snapshot(), before);
    EXPECT_FALSE(std::filesystem::exists(dir + "/userList.txt"));  // nothing to save
}

TEST_F(AddBatch, ServiceTextsCanNotBreakTheListFile)
{
    // A hostile nickname with a line break and the field separator, and a user without an id.
    fake.addUser({"MS4wLjABAAAAbad-User_03", "777", "evil\r\nX--Y--1", "a--b", "", false, ""});
    fake.addUserShareCode("Bad0User0Cd", "MS4wLjABAAAAbad-User_03");
    fake.addUser({"MS4wLjABAAAAno-Id_04", "", "nobody", "nobody", "", false, ""});
    fake.addUserShareCode("NoId0User0C", "MS4wLjABAAAAno-Id_04");
    const BatchCounts counts = run({"Bad0User0Cd", "NoId0User0C"});
    EXPECT_EQ(counts.success, 1);
    EXPECT_EQ(counts.failure, 1);
    ASSERT_EQ(context.list.rowCount(), 1);
    EXPECT_EQ(savedList(), "evil  X-Y-1--a-b--777\r\n");
}


// A batch started while the start-up load still fills the table waits for it, so a user whose
// row is not loaded yet is updated in place rather than added a second time.
TEST_F(AddBatch, WaitsForTheStartupLoad)
{
    context.beginLoad();
    std::thread loader([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        addRows(1, liveUser().uid);
        context.endLoad();
    });
    const BatchCounts counts = run({fake.shortLinkUrl("kP9xQ2mZr7L")});
    loader.join();
    EXPECT_EQ(counts.success, 1);
    EXPECT_EQ(context.list.rowCount(), 1);
}

} // namespace
} // namespace qingtong::test
