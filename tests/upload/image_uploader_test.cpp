#include "upload/image_uploader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <set>
#include <thread>

#include "platform/event.h"
#include "support/http_server.h"
#include "support/temp_dir.h"
#include "upload_test_support.h"

namespace tagsmith {
namespace {

using namespace std::chrono_literals;
using testing::HttpReply;
using testing::HttpTestServer;
using testing::ServeFor;

struct Finished {
  bool noErrors;
  bool cancel;
  bool operator==(const Finished&) const = default;
};

struct Failed {
  int id;
  std::string message;
  size_t finishedBefore;  // OnUploadFinished calls that came first
};

struct Uploaded {
  int id;
  UploadLinks links;
  bool onMainThread;
};

// The uploaded file's name as the server sees it.
std::string FileNameOf(const HttpTestServer::Request& r) {
  for (const auto& part : testing::ParseMultipart(r.Header("Content-Type"), r.body))
    if (part.hasFileName) return part.fileName;
  return {};
}

// Opens a gate when it goes out of scope, so that scripts waiting on it end
// before their server is destroyed.
struct OpenOnExit {
  Event& gate;
  ~OpenOnExit() { gate.Set(); }
};

class UploaderTest : public ::testing::Test {
 protected:
  UploaderTest() {
    for (int i = 0; i < 10; ++i) {
      files.push_back((dir / ("img" + std::to_string(i) + ".png")).string());
      testing::WriteFile(files.back(), "png bytes of image " + std::to_string(i));
    }
    uploader = MakeUploader();
  }

  void TearDown() override {
    uploader.reset();
    WaitForUploadThreads();
  }

  std::unique_ptr<TImageUploader> MakeUploader() {
    auto u = std::make_unique<TImageUploader>();
    u->Timeouts = UploadTimeouts{2000ms, 10000ms, 25ms};
    u->OnImageUploaded = [this](int id, const std::string& image, const std::string& preview,
                                const std::string& page) {
      uploaded.push_back(Uploaded{id, UploadLinks{image, preview, page}, SyncQueue::Main().IsMainThread()});
    };
    u->OnUploadFinished = [this](bool noErrors, bool cancel) { finished.push_back(Finished{noErrors, cancel}); };
    u->OnImageFailed = [this](int id, const std::string& message) {
      failures.push_back(Failed{id, message, finished.size()});
    };
    return u;
  }

  void Use(const HttpTestServer& server) {
    uploader->Hosts = UploadHosts{"load%d.imageshack.example.test", "fastpic.example.test", server.Authority()};
  }
  void AddImages(int count) {
    for (int i = 0; i < count; ++i) uploader->AddImage(i, files[i]);
  }
  bool WaitFinished(size_t count = 1) {
    return ServeFor([&] { return finished.size() >= count; }, 10s);
  }
  std::vector<int> UploadedIds() const {
    std::vector<int> ids;
    for (const auto& u : uploaded) ids.push_back(u.id);
    std::sort(ids.begin(), ids.end());
    return ids;
  }

  testing::TempDir dir;
  std::vector<std::string> files;
  std::vector<Finished> finished;
  std::vector<Uploaded> uploaded;
  std::vector<Failed> failures;
  std::unique_ptr<TImageUploader> uploader;
};

// Answers every ImageShack request with links named after the uploaded file.
void ReplyWithLinks(const HttpTestServer::Request& r, HttpTestServer::Connection& c) {
  const std::string name = FileNameOf(r);
  c.Send(HttpReply(testing::ImageShackReply("http://img/" + name, "http://thumb/" + name, "http://page/" + name)));
}

TEST_F(UploaderTest, EmptyListFinishesAfterOneWaitWithoutErrors) {
  uploader->StartUpload();
  ASSERT_TRUE(WaitFinished());
  EXPECT_EQ(finished, (std::vector<Finished>{{true, false}}));
  EXPECT_TRUE(uploaded.empty());
}

TEST_F(UploaderTest, TenImagesStartSevenAtOnceFromTheEndAndTheRestAsUploadsEnd) {
  Event gate(Event::Mode::ManualReset);
  std::atomic<int> active{0};
  std::atomic<int> mostActive{0};
  HttpTestServer server([&](const auto& r, auto& c) {
    const int now = ++active;
    int seen = mostActive;
    while (now > seen && !mostActive.compare_exchange_weak(seen, now)) {
    }
    gate.WaitFor(10s);
    --active;  // before the reply, which is what lets the next upload start
    ReplyWithLinks(r, c);
  });
  OpenOnExit open{gate};
  Use(server);
  AddImages(10);
  uploader->StartUpload();

  ASSERT_TRUE(server.WaitForRequests(7, 5s));
  EXPECT_FALSE(server.WaitForRequests(8, 300ms));
  std::set<std::string> firstSeven;
  for (const auto& r : server.Requests()) firstSeven.insert(FileNameOf(r));
  EXPECT_EQ(firstSeven, (std::set<std::string>{"img3.png", "img4.png", "img5.png", "img6.png", "img7.png",
                                               "img8.png", "img9.png"}));

  gate.Set();
  ASSERT_TRUE(WaitFinished());
  EXPECT_EQ(finished, (std::vector<Finished>{{true, false}}));
  EXPECT_EQ(UploadedIds(), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
  for (const auto& u : uploaded) {
    const std::string name = "img" + std::to_string(u.id) + ".png";
    EXPECT_EQ(u.links.ImageURL, "http://img/" + name);
    EXPECT_EQ(u.links.ImagePreviewURL, "http://thumb/" + name);
    EXPECT_EQ(u.links.LinkToPage, "http://page/" + name);
    EXPECT_TRUE(u.onMainThread);
  }
  EXPECT_EQ(server.RequestCount(), 10u);
  EXPECT_EQ(mostActive, 7);
  EXPECT_EQ(UploadThreadList().Count(), 0u);
}

TEST_F(UploaderTest, AnImageThatAlwaysFailsIsTriedUploadTriesNumberTimesAtLeastOnce) {
  const struct {
    int tries;
    size_t attempts;
  } cases[] = {{3, 3}, {1, 1}, {0, 1}, {-5, 1}};
  for (const auto& c : cases) {
    HttpTestServer server([](const auto&, auto& conn) { conn.Send(HttpReply("", "500 Internal Server Error")); });
    Use(server);
    uploader->ClearImages();
    AddImages(2);
    uploader->UploadsInEachTime = 1;
    uploader->UploadTriesNumber = c.tries;
    finished.clear();
    uploader->StartUpload();
    ASSERT_TRUE(WaitFinished()) << c.tries;
    EXPECT_EQ(finished, (std::vector<Finished>{{false, false}})) << c.tries;
    // Only the last image was tried; the one still queued never started.
    const auto requests = server.Requests();
    EXPECT_EQ(requests.size(), c.attempts) << c.tries;
    for (const auto& r : requests) EXPECT_EQ(FileNameOf(r), "img1.png") << c.tries;
    EXPECT_FALSE(UploadNoErrors().Get());
  }
  EXPECT_TRUE(uploaded.empty());
}

TEST_F(UploaderTest, EachKindOfFailureEndsTheRunAfterItsNumberOfAttempts) {
  const struct {
    const char* name;
    TUploadServer host;
    std::string wire;
    bool hold;
    size_t attempts;
    std::string message;  // as OnImageFailed gives it
  } cases[] = {
      {"server error", TUploadServer::ImageShack, HttpReply(testing::ImageShackReply("x"), "500 Internal Server Error"),
       false, 2, "Post request was failed!"},
      {"closed before the terminator", TUploadServer::FastPic, "HTTP/1.1 200 OK\r\n\r\n<UploadSettings>", false, 2,
       "Post request was failed!"},
      {"stall after the headers", TUploadServer::ImageShack, "HTTP/1.1 200 OK\r\n\r\n<imginfo>", true, 2,
       "Post request was failed!"},
      {"status OK in capitals", TUploadServer::FastPic, HttpReply(testing::FastPicReply("x", "OK")), false, 2,
       "FastPic XML data file is corrupted!"},
      {"malformed XML", TUploadServer::ImageShack, HttpReply("<imginfo><links></imginfo>"), false, 1, 
       "ImageShack reply:1: Opening and ending tag mismatch: links line 1 and imginfo"},
      {"malformed FastPic XML", TUploadServer::FastPic, HttpReply("<UploadSettings><a></UploadSettings>"), false, 1,
       
       "FastPic reply:1: Opening and ending tag mismatch: a line 1 and UploadSettings"},
  };
  uploader->UploadTriesNumber = 2;
  uploader->Timeouts.read = 200ms;
  AddImages(1);
  for (const auto& c : cases) {
    HttpTestServer server([&](const auto&, auto& conn) {
      conn.Send(c.wire);
      if (c.hold) conn.HoldUntilPeerCloses(5s);
    });
    Use(server);
    uploader->UploadServer = c.host;
    finished.clear();
    failures.clear();
    uploader->StartUpload();
    ASSERT_TRUE(WaitFinished()) << c.name;
    EXPECT_EQ(finished, (std::vector<Finished>{{false, false}})) << c.name;
    EXPECT_EQ(server.RequestCount(), c.attempts) << c.name;
    // The reason of the last attempt, before the run's end.
    ASSERT_EQ(failures.size(), 1u) << c.name;
    EXPECT_EQ(failures[0].id, 0) << c.name;
    EXPECT_EQ(failures[0].message, c.message) << c.name;
    EXPECT_EQ(failures[0].finishedBefore, 0u) << c.name;
  }

  // A refused connection is a failed post, tried again; a file that cannot be
  // read is never sent.
  uploader->Hosts = UploadHosts{"127.0.0.1:" + std::to_string(testing::UnusedPort()), "", ""};
  uploader->UploadServer = TUploadServer::ImageShack;
  finished.clear();
  failures.clear();
  uploader->StartUpload();
  ASSERT_TRUE(WaitFinished());
  EXPECT_EQ(finished, (std::vector<Finished>{{false, false}}));
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_EQ(failures[0].message, "Post request was failed!");

  HttpTestServer server(ReplyWithLinks);
  Use(server);
  uploader->ClearImages();
  uploader->AddImage(0, (dir / "missing.png").string());
  finished.clear();
  failures.clear();
  uploader->StartUpload();
  ASSERT_TRUE(WaitFinished());
  EXPECT_EQ(finished, (std::vector<Finished>{{false, false}}));
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_EQ(failures[0].message,
            "Cannot open file \"" + (dir / "missing.png").string() + "\". No such file or directory");
  EXPECT_EQ(server.RequestCount(), 0u);
  EXPECT_TRUE(uploaded.empty());
}

TEST_F(UploaderTest, NoUploadSlotsMeansNothingStartsUntilTheRunIsAborted) {
  HttpTestServer server(ReplyWithLinks);
  Use(server);
  AddImages(2);
  uploader->UploadsInEachTime = 0;
  uploader->StartUpload();
  testing::ServeDuring(700ms);
  EXPECT_TRUE(finished.empty());
  uploader->AbortUpload();
  ASSERT_TRUE(WaitFinished());
  EXPECT_EQ(finished, (std::vector<Finished>{{true, true}}));
  EXPECT_EQ(server.RequestCount(), 0u);

  // Abort after the run ended, or of an uploader that never ran, does nothing.
  uploader->AbortUpload();
  TImageUploader idle;
  idle.AbortUpload();
  testing::ServeDuring(100ms);
  EXPECT_EQ(finished.size(), 1u);
}

TEST_F(UploaderTest, AbortDuringThreeUploadsEndsTheRunWithoutWaitingForThem) {
  Event gate(Event::Mode::ManualReset);
  HttpTestServer server([&](const auto& r, auto& c) {
    gate.WaitFor(10s);
    if (FileNameOf(r) == "img2.png") c.Send(HttpReply("", "500 Internal Server Error"));
    else ReplyWithLinks(r, c);
  });
  OpenOnExit open{gate};
  Use(server);
  AddImages(3);
  uploader->StartUpload();
  ASSERT_TRUE(server.WaitForRequests(3, 5s));
  uploader->AbortUpload();
  ASSERT_TRUE(WaitFinished());
  EXPECT_EQ(finished, (std::vector<Finished>{{true, true}}));
  EXPECT_EQ(UploadThreadList().Count(), 0u);  // detached

  // The detached uploads finish their attempt: each either delivers its
  // image or makes the no-errors flag false, and none tries again.
  gate.Set();
  WaitForUploadThreads();
  EXPECT_FALSE(UploadNoErrors().Get());
  EXPECT_EQ(server.RequestCount(), 3u);
  EXPECT_EQ(UploadedIds(), (std::vector<int>{0, 1}));
  EXPECT_EQ(finished.size(), 1u);
}

// Counts the steps workers hand to the main thread, so that a test can keep
// the main thread busy (serving nothing) until a given step is waiting. A
// worker calls the handler after queueing its step, possibly after the main
// thread ran the step, so the count lives as long as the last call.
class QueuedSteps {
 public:
  QueuedSteps() {
    SyncQueue::Main().SetWakeUpHandler([state = state_] {
      ++state->count;
      state->queued.Set();
    });
  }
  ~QueuedSteps() { SyncQueue::Main().SetWakeUpHandler(nullptr); }
  // Waits, without serving, until `n` steps were queued in all.
  bool WaitFor(int n) {
    const auto end = std::chrono::steady_clock::now() + 10s;
    while (state_->count.load() < n) {
      if (std::chrono::steady_clock::now() >= end) return false;
      state_->queued.WaitFor(100ms);
    }
    return true;
  }

 private:
  struct State {
    std::atomic<int> count{0};
    Event queued{Event::Mode::AutoReset};
  };
  std::shared_ptr<State> state_ = std::make_shared<State>();
};

TEST_F(UploaderTest, TheFinishedEventReportsTheFlagsAsTheyAreWhenTheMainThreadRunsIt) {
  HttpTestServer server(ReplyWithLinks);
  Use(server);
  AddImages(1);
  {
    // The image arrives, the run's loop ends and its last step waits while
    // the main thread is busy; the user aborts meanwhile.
    QueuedSteps steps;
    uploader->StartUpload();
    ASSERT_TRUE(steps.WaitFor(1));  // the image's links
    EXPECT_TRUE(SyncQueue::Main().CheckSynchronize());
    ASSERT_EQ(UploadedIds(), (std::vector<int>{0}));
    ASSERT_TRUE(steps.WaitFor(2));  // the end of the run
    EXPECT_TRUE(finished.empty());
    uploader->AbortUpload();
    ASSERT_TRUE(WaitFinished());
    EXPECT_EQ(finished, (std::vector<Finished>{{true, true}})) << "the abort was accepted, so it is reported";
  }
  // Aborting once the run has reported its end changes nothing.
  uploader->AbortUpload();
  testing::ServeDuring(100ms);
  EXPECT_EQ(finished.size(), 1u);
}

TEST_F(UploaderTest, TheFinishedEventReportsAFailureOfAnEarlierRunsUploadInTheMeantime) {
  Event gate(Event::Mode::ManualReset);
  HttpTestServer server([&](const auto&, auto& c) {
    gate.WaitFor(10s);
    c.Send(HttpReply("", "500 Internal Server Error"));
  });
  OpenOnExit open{gate};
  Use(server);
  uploader->OnImageFailed = nullptr;  // as the convert dialog has it: failures only clear the flag
  AddImages(1);
  uploader->StartUpload();
  ASSERT_TRUE(server.WaitForRequests(1, 5s));
  uploader->AbortUpload();
  ASSERT_TRUE(WaitFinished());
  ASSERT_EQ(UploadThreadList().Count(), 0u);  // its upload goes on, detached

  // A second run with nothing to upload ends while the main thread is busy;
  // meanwhile the detached upload fails.
  QueuedSteps steps;
  uploader->ClearImages();
  uploader->StartUpload();
  ASSERT_TRUE(steps.WaitFor(1));
  gate.Set();
  const auto end = std::chrono::steady_clock::now() + 10s;
  while (UploadNoErrors().Get() && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(5ms);
  ASSERT_FALSE(UploadNoErrors().Get());
  ASSERT_TRUE(WaitFinished(2));
  EXPECT_EQ(finished, (std::vector<Finished>{{true, true}, {false, false}}));
  EXPECT_TRUE(uploaded.empty());
}

TEST_F(UploaderTest, DetachedUploadsAreCutOffWhenTheUploaderIsDestroyed) {
  Event gate(Event::Mode::ManualReset);
  HttpTestServer server([&](const auto& r, auto& c) {
    gate.WaitFor(10s);
    ReplyWithLinks(r, c);
  });
  OpenOnExit open{gate};
  Use(server);
  AddImages(2);
  uploader->StartUpload();
  ASSERT_TRUE(server.WaitForRequests(2, 5s));
  uploader->AbortUpload();
  ASSERT_TRUE(WaitFinished());
  uploader.reset();
  gate.Set();
  WaitForUploadThreads();
  testing::ServeDuring(100ms);
  EXPECT_TRUE(uploaded.empty());
  EXPECT_EQ(finished, (std::vector<Finished>{{true, true}}));
}

TEST_F(UploaderTest, StartUploadDuringARunStopsTheOldRunBeforeTheNewOneStarts) {
  Event gate(Event::Mode::ManualReset);
  HttpTestServer server([&](const auto& r, auto& c) {
    gate.WaitFor(10s);
    ReplyWithLinks(r, c);
  });
  OpenOnExit open{gate};
  Use(server);
  AddImages(2);
  uploader->StartUpload();
  ASSERT_TRUE(server.WaitForRequests(2, 5s));

  uploader->StartUpload();
  EXPECT_EQ(finished, (std::vector<Finished>{{true, true}}));
  gate.Set();
  ASSERT_TRUE(WaitFinished(2));
  EXPECT_EQ(finished, (std::vector<Finished>{{true, true}, {true, false}}));
  WaitForUploadThreads();
  EXPECT_EQ(server.RequestCount(), 4u);
  // The old run's uploads, detached, finish their attempt and deliver too.
  EXPECT_EQ(UploadedIds(), (std::vector<int>{0, 0, 1, 1}));
}

TEST_F(UploaderTest, DestroyingTheUploaderDuringARunStopsItAndNoEventArrivesAfterwards) {
  Event gate(Event::Mode::ManualReset);
  HttpTestServer server([&](const auto& r, auto& c) {
    gate.WaitFor(10s);
    ReplyWithLinks(r, c);
  });
  OpenOnExit open{gate};
  Use(server);
  AddImages(3);
  uploader->StartUpload();
  ASSERT_TRUE(server.WaitForRequests(3, 5s));
  uploader.reset();
  EXPECT_EQ(UploadThreadList().Count(), 0u);
  gate.Set();
  WaitForUploadThreads();
  testing::ServeDuring(100ms);
  EXPECT_TRUE(finished.empty());
  EXPECT_TRUE(uploaded.empty());
}

TEST_F(UploaderTest, UploadsLeftByAFailedRunDeliverLaterOnlyWhileTheUploaderLives) {
  for (const bool destroy : {false, true}) {
    if (!uploader) uploader = MakeUploader();
    finished.clear();
    uploaded.clear();
    Event gate(Event::Mode::ManualReset);
    HttpTestServer server([&](const auto& r, auto& c) {
      if (FileNameOf(r) == "img1.png") {
        c.Send(HttpReply("", "500 Internal Server Error"));
        return;
      }
      gate.WaitFor(10s);
      ReplyWithLinks(r, c);
    });
    OpenOnExit open{gate};
    Use(server);
    uploader->ClearImages();
    AddImages(2);
    uploader->UploadTriesNumber = 1;
    uploader->StartUpload();
    ASSERT_TRUE(WaitFinished()) << destroy;
    EXPECT_EQ(finished, (std::vector<Finished>{{false, false}})) << destroy;
    EXPECT_EQ(UploadThreadList().Count(), 1u) << destroy;  // img0, still running

    if (destroy) uploader.reset();
    gate.Set();
    ServeFor([&] { return !uploaded.empty(); }, destroy ? 500ms : 5s);
    WaitForUploadThreads();
    if (destroy) {
      EXPECT_TRUE(uploaded.empty());
    } else {
      ASSERT_EQ(uploaded.size(), 1u);
      EXPECT_EQ(uploaded[0].id, 0);
      EXPECT_EQ(uploaded[0].links.ImageURL, "http://img/img0.png");
    }
    EXPECT_EQ(finished.size(), 1u) << destroy;
  }
}

TEST_F(UploaderTest, HandlersMayRestartOrDestroyTheUploaderFromTheFinishedEvent) {
  uploader->OnUploadFinished = [this](bool noErrors, bool cancel) {
    finished.push_back(Finished{noErrors, cancel});
    if (finished.size() == 1) uploader->StartUpload();
    else uploader.reset();
  };
  uploader->StartUpload();
  ASSERT_TRUE(WaitFinished(2));
  EXPECT_EQ(finished, (std::vector<Finished>{{true, false}, {true, false}}));
  EXPECT_EQ(uploader, nullptr);
}

}  // namespace
}  // namespace tagsmith
