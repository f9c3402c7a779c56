#include "stretches.h"

#include <algorithm>
#include <exception>
#include <system_error>
#include <thread>
#include <vector>

#include "fileio.h"

void RunInStretches(int64_t first, int64_t last, int64_t align, int64_t minFrames,
                    const std::atomic<bool>* cancel,
                    const std::function<void(int64_t from, int64_t to)>& body) {
    const int64_t length = last - first;
    const int64_t cores = std::max(1u, std::thread::hardware_concurrency());
    const int64_t parts =
        length <= 0 ? 1 : std::clamp<int64_t>(length / std::max<int64_t>(minFrames, 1), 1, cores);
    std::vector<int64_t> cuts{first};
    for (int64_t i = 1; i < parts; ++i) {
        const int64_t at = (first + length * i / parts) / align * align;
        if (at > cuts.back() && at < last) cuts.push_back(at);
    }
    cuts.push_back(last);
    const size_t stretches = cuts.size() - 1;
    std::vector<std::exception_ptr> errors(stretches);
    auto run = [&](size_t i) {
        try {
            body(cuts[i], cuts[i + 1]);
        } catch (...) {
            errors[i] = std::current_exception();
        }
    };
    std::vector<std::thread> helpers;
    // A stretch whose thread cannot start runs here after the first.
    std::vector<size_t> here{0};
    for (size_t i = 1; i < stretches; ++i) {
        try {
            helpers.emplace_back([&, i] {
                const TCancelScope scope(cancel);
                run(i);
            });
        } catch (const std::system_error&) {
            here.push_back(i);
        }
    }
    for (size_t i : here) run(i);
    for (auto& t : helpers) t.join();
    for (auto& e : errors)
        if (e) std::rethrow_exception(e);
}
