// A document parsed by one thread and released by another, over and over, as a download daemon's reader and
// worker threads do: resident memory must level off instead of growing with every document.
//
// Usage: json_thread_memory FILE [DOCUMENTS]   (default 200)
// Prints the resident memory after every twentieth document and fails when the figure after the last is more than
// 1.25 times the one after the twentieth.

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "bench/memory_probe.h"
#include "jsondoc/jsondoc.h"

namespace {

// One document at a time handed from the parsing thread to the releasing one; the parser starts the next only once
// the last is released, so that every figure is taken with no document alive and the scheduling of the two threads
// cannot change how many documents a figure holds.
class Handoff {
  public:
    void put(std::unique_ptr<jsondoc::Object> document) {
        std::unique_lock<std::mutex> lock(mutex_);
        slot_ = std::move(document);
        changed_.notify_all();
        changed_.wait(lock, [this] { return !slot_ && !releasing_; });
    }
    std::unique_ptr<jsondoc::Object> take() {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return slot_ != nullptr; });
        releasing_ = true;
        return std::move(slot_);
    }
    void released() {
        std::lock_guard<std::mutex> lock(mutex_);
        releasing_ = false;
        changed_.notify_all();
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::unique_ptr<jsondoc::Object> slot_;
    bool releasing_ = false;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: json_thread_memory FILE [DOCUMENTS]\n");
        return 2;
    }
    std::ifstream file(argv[1], std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(file), {}};
    const int documents = argc == 3 ? std::atoi(argv[2]) : 200;
    if (!file || documents < 20) {
        std::fprintf(stderr, "json_thread_memory: cannot read %s, or fewer than 20 documents asked for\n", argv[1]);
        return 2;
    }
    Handoff handoff;
    bool parsed = true;
    std::thread reader([&] {
        for (int i = 0; i < documents; ++i) {
            auto document = std::make_unique<jsondoc::Object>();
            parsed = document->parse(text) && parsed;
            handoff.put(std::move(document));
        }
    });
    double afterTwentieth = 0, afterLast = 0;
    std::thread worker([&] {
        for (int i = 1; i <= documents; ++i) {
            handoff.take().reset();
            if (i % 20 == 0) {
                const double mib = bench::residentMib();
                std::printf("after %3d documents: %8.1f MiB resident\n", i, mib);
                afterTwentieth = i == 20 ? mib : afterTwentieth;
                afterLast = mib;
            }
            handoff.released();
        }
    });
    reader.join();
    worker.join();
    if (!parsed) {
        std::fprintf(stderr, "json_thread_memory: %s does not parse as an object\n", argv[1]);
        return 1;
    }
    const double ratio = afterLast / afterTwentieth;
    std::printf("%zu bytes of text, %d documents: resident after the last / after the 20th = %.3f (bound 1.25): %s\n",
                text.size(), documents, ratio, ratio <= 1.25 ? "met" : "MISSED");
    return ratio <= 1.25 ? 0 : 1;
}
