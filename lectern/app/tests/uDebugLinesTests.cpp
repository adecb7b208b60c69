#include "lectern/app/uDebugLines.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <thread>

namespace {

using Lines = std::vector<std::string>;

TEST(DebugLines, ServedPathsCollectOnTheLastOkLine)
{
    TDebugLines pane;
    pane.AddServed("index.html");
    pane.AddServed("style.css");
    pane.Add("---> ERROR: x.png NOT found!");
    pane.AddServed("a.html");
    pane.Add("Load page: http://127.0.0.1:8000/a.html");
    pane.Add("Ok:ay");  // begins with "Ok:" although not written by the server: joined too
    pane.AddServed("b.html");
    EXPECT_EQ(pane.Lines(), (Lines{"Ok: index.html, style.css", "---> ERROR: x.png NOT found!", "Ok: a.html",
                                   "Load page: http://127.0.0.1:8000/a.html", "Ok:ay, b.html"}));
}

class ChangeCounter : public TObject {
public:
    void Changed(TObject* sender)
    {
        ++count;
        last = sender;
    }
    int count = 0;
    TObject* last = nullptr;
};

TEST(DebugLines, EveryChangeIsAnnounced)
{
    TDebugLines pane;
    ChangeCounter counter;
    pane.OnChange = TEvent<TObject*>(&counter, &ChangeCounter::Changed);
    pane.Add("Server ready");
    pane.AddServed("a");
    pane.AddServed("b");
    EXPECT_EQ(counter.count, 3);
    EXPECT_EQ(counter.last, &pane);
}

// Worker threads join their paths at once: none is lost from the joined line.
TEST(DebugLines, ConcurrentServedPathsAreAllKept)
{
    TDebugLines pane;
    constexpr int kThreads = 4;
    constexpr int kPathsPerThread = 250;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&pane, t] {
            for (int i = 0; i < kPathsPerThread; ++i) {
                pane.AddServed(std::to_string(t * kPathsPerThread + i));
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    const Lines lines = pane.Lines();
    ASSERT_EQ(lines.size(), 1u);
    ASSERT_EQ(lines[0].rfind("Ok: ", 0), 0u);
    std::set<std::string> paths;
    std::istringstream joined(lines[0].substr(4));
    for (std::string path; std::getline(joined >> std::ws, path, ',');) {
        paths.insert(path);
    }
    EXPECT_EQ(paths.size(), static_cast<size_t>(kThreads * kPathsPerThread));
}

}  // namespace
