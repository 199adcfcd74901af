// The parametric study's throughput: a 64-point lb sweep of the start-up set on 1, 2 and all
// processors, side by side in one run, and the cost of a point against a single run of the
// same set, bare and as orvane-batch makes it (with its t-s result file). Each figure is the
// best of a few repetitions, which is what a shared machine lets one compare.
//
//     build/bench/study_bench [points] [repetitions]

#include "core/results/ResultFileRun.h"
#include "core/study/Study.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

using namespace orvane;

namespace {

double secondsOf(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv) {
    const std::string points = argc > 1 ? argv[1] : "64";
    const int repetitions = argc > 2 ? std::stoi(argv[2]) : 15;
    StudyDefinition study;
    study.sweeps.push_back(ParseSweep("lb=10:300:" + points).sweep);
    const std::int64_t total = PointCount(study);
    const int cores = DefaultJobs();
    const auto perPoint = [&](double seconds) { return seconds / double(total) * 1e3; };

    const std::filesystem::path file = std::filesystem::temp_directory_path() / "study_bench.t-s";
    const auto withFile = [&] {
        for (std::int64_t k = 0; k < total; ++k) {
            StudyPoint point = MakeStudyPoint(study, k);
            RunToResultFile(point.params, file.string());
        }
    };
    const auto bare = [&] {
        for (std::int64_t k = 0; k < total; ++k) {
            StudyPoint point = MakeStudyPoint(study, k);
            PulloutRun run(point.params);
            while (run.step() == RunEnd::None) {
            }
        }
    };
    const std::vector<int> jobCounts = {1, 2, cores};
    std::vector<std::function<void()>> works = {withFile, bare};
    for (const int jobs : jobCounts) {
        works.push_back([&study, jobs] {
            RunStudy(study, jobs, [](const StudyPointResult&) { return true; });
        });
    }
    // Round-robin repetitions, so that every variant meets much the same load.
    std::vector<double> best(works.size(), 1e300);
    for (int r = 0; r < repetitions; ++r) {
        for (std::size_t w = 0; w < works.size(); ++w) {
            best[w] = std::min(best[w], secondsOf(works[w]));
        }
    }
    std::filesystem::remove(file);

    std::printf("%lld-point lb sweep of the start-up set, %d processors, best of %d\n",
                (long long)total, cores, repetitions);
    std::printf("single runs, t-s file written : %.2f ms per run\n", perPoint(best[0]));
    std::printf("single runs, bare             : %.2f ms per run\n", perPoint(best[1]));
    for (std::size_t j = 0; j < jobCounts.size(); ++j) {
        const double seconds = best[2 + j];
        const int jobs = jobCounts[j];
        std::printf("study, jobs %2d: %.3f s, %7.1f points/s, speed-up %.2f, wall time x jobs per "
                    "point %.2f ms (%.0f %% of a bare run, %.0f %% of a run with its file)\n",
                    jobs, seconds, double(total) / seconds, best[2] / seconds,
                    perPoint(seconds * jobs), seconds * jobs / best[1] * 100,
                    seconds * jobs / best[0] * 100);
    }
    return 0;
}
