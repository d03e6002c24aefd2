// SPDX-License-Identifier: MIT
// grade: a class's submissions graded by a rubric. Each submission is found
// (a folder, a zip unpacked into a private folder, or a library), then graded
// by a worker of its own: this program run again, confined to that
// submission, which runs the rubric's cases, check's rows and a fuzz run as
// run, check and fuzz do, each in children of its own. The grades are
// written as the teacher's spreadsheet and page and as the autograders
// read them.
#include "core/cases/case_run.h"
#include "core/children/child_report.h"
#include "core/fuzzing/fuzz_run.h"
#include "core/grading/grade_reports.h"
#include "core/grading/grading.h"
#include "core/grading/rubric.h"
#include "core/reports/junit_report.h"
#include "handlers.h"
#include "out_folder.h"
#include "platform.h"
#include "sandbox.h"
#include "unpacking.h"
#include "utf8_paths.h"
#include "wine.h"

#include <binding/codepage.h>
#include <text/utf8.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <mutex>
#include <random>
#include <thread>

namespace kavrelo::zavlek_call {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Every student gets the same fuzz inputs, whatever the machine.
constexpr std::uint64_t kGradeSeed = 1;
// A worker runs many children, each with its own limit; its own is only
// against a worker that stopped answering.
constexpr std::chrono::milliseconds kWorkerLimit = std::chrono::hours(24);
// The most files looked at in a submission's folder for its library.
constexpr std::size_t kMostFilesLookedAt = 100000;

std::string lowercase(std::string text) {
    for (char& byte : text) {
        if (byte >= 'A' && byte <= 'Z') byte = static_cast<char>(byte - 'A' + 'a');
    }
    return text;
}

// A folder of our own for the run, under the system's temporary folder,
// removed with all it holds however the run ends.
class PrivateFolder {
public:
    PrivateFolder() {
        std::random_device random;
        const fs::path base = fs::temp_directory_path();
        for (int attempt = 0; attempt < 100; ++attempt) {
            const fs::path candidate = base / ("zavlek-grade-" + std::to_string(random()));
            std::error_code error;
            if (fs::create_directory(candidate, error)) {
                // Others may pass through, to the folders made for them
                // inside (a confined submission runs as nobody), but not
                // list it.
                fs::permissions(candidate,
                                fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec, error);
                path_ = candidate;
                return;
            }
        }
        throw std::runtime_error("no se pudo crear una carpeta temporal en " + utf8_of(base));
    }
    ~PrivateFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;

    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

struct Submission {
    std::string id;
    fs::path library;             // absolute, when one was found
    std::string shown;            // the library as the submission names it
    fs::path readable;            // what its worker may read: its folder, or the library alone
    fs::path work;                // its private folder
    std::string windows_program;  // for a DLL graded under Wine: the program that grades it
    std::optional<std::string> ungradable;
};

bool is_zip(const fs::path& path) { return lowercase(utf8_of(path.extension())) == ".zip"; }

std::string id_of(const fs::path& given) {
    fs::path name = given.lexically_normal();
    if (name.filename().empty()) name = name.parent_path();
    return utf8_of(fs::is_directory(name) ? name.filename() : name.stem());
}

// Whether a link found in a submission's folder leads to a file inside it.
bool stays_inside(const fs::path& link, const fs::path& folder) {
    std::error_code error;
    const fs::path target = fs::weakly_canonical(link, error);
    const fs::path root = fs::weakly_canonical(folder, error);
    if (error) return false;
    const fs::path relative = target.lexically_relative(root);
    return !relative.empty() && *relative.begin() != "..";
}

// The library of a folder: the file named as the console loads it, or else
// the only library there is.
void find_library(Submission& submission, const fs::path& folder) {
    std::vector<fs::path> named;
    std::vector<fs::path> others;
    std::error_code error;
    std::size_t looked_at = 0;
    for (auto entry =
             fs::recursive_directory_iterator(folder, fs::directory_options::skip_permission_denied, error);
         !error && entry != fs::recursive_directory_iterator() && ++looked_at < kMostFilesLookedAt;
         entry.increment(error)) {
        // An entry that cannot be looked at is passed over; the walk goes on.
        std::error_code unreadable;
        const std::string name = lowercase(utf8_of(entry->path().filename()));
        // What a Mac adds to a zip: resource forks, never a library.
        if (name == "__macosx" && entry->is_directory(unreadable)) entry.disable_recursion_pending();
        if (name.starts_with("._") || !entry->is_regular_file(unreadable)) continue;
        // A link (a versioned library's name, say) counts when it stays
        // inside the submission, which is all its worker may read.
        if (entry->is_symlink(unreadable) && !stays_inside(entry->path(), folder)) continue;
        if (name == "libzavlek.so" || name == "zavlek.dll") {
            named.push_back(entry->path());
        } else if (name.ends_with(".so") || name.ends_with(".dll")) {
            others.push_back(entry->path());
        }
    }
    const std::vector<fs::path>& candidates = named.empty() ? others : named;
    const auto shown = [&folder](const fs::path& file) { return utf8_of(file.lexically_relative(folder)); };
    if (candidates.size() == 1) {
        submission.library = candidates.front();
        submission.shown = shown(candidates.front());
        submission.readable = folder;
        return;
    }
    if (candidates.empty()) {
        submission.ungradable = "no tiene biblioteca: ni libZavlek.so ni Zavlek.dll, ni un único .so o .dll";
        return;
    }
    std::vector<std::string> names;
    for (const fs::path& file : candidates) names.push_back(shown(file));
    std::ranges::sort(names);
    std::string listed;
    for (const std::string& name : names) listed += (listed.empty() ? "" : ", ") + name;
    submission.ungradable = "tiene varias bibliotecas y no se sabe cuál calificar: " + listed;
}

Submission prepared(const std::string& given, const fs::path& work) {
    const fs::path path = fs::absolute(path_of(given));
    Submission submission;
    submission.id = id_of(path);
    submission.work = work;
    fs::create_directories(work / "tmp");
    std::error_code error;
    if (fs::is_directory(path, error)) {
        find_library(submission, path);
    } else if (!fs::is_regular_file(path, error)) {
        submission.ungradable = "no es una carpeta, un zip ni un archivo que se pueda leer";
    } else if (is_zip(path)) {
        const fs::path unpacked = work / "entrega";
        fs::create_directory(unpacked);
        if (std::optional<std::string> refused = unpack_zip(utf8_of(path), utf8_of(unpacked))) {
            submission.ungradable = std::move(refused);
        } else {
            find_library(submission, unpacked);
        }
    } else {
        submission.library = path;
        submission.shown = utf8_of(path.filename());
        submission.readable = path;
    }
    if (!submission.library.empty() && !submission.ungradable) {
        if (std::optional<ForeignLibrary> foreign =
                foreign_library(utf8_of(submission.library), submission.shown)) {
            if (foreign->program.empty()) submission.ungradable = std::move(foreign->unavailable);
            submission.windows_program = std::move(foreign->program);
        }
    }
    return submission;
}

// DLLs graded under Wine run in prefixes copied from one made here, once;
// when it cannot be made, they are ungradable.
void prepare_for_wine(std::vector<Submission>& submissions, const fs::path& prefix) {
    const auto under_wine = [](const Submission& submission) {
        return !submission.windows_program.empty() && !submission.ungradable;
    };
    if (std::ranges::none_of(submissions, under_wine)) return;
    try {
        fs::create_directory(prefix);
        prepare_wine_prefix(utf8_of(prefix));
    } catch (const std::exception& failure) {
        for (Submission& submission : submissions) {
            if (!under_wine(submission)) continue;
            submission.ungradable =
                submission.shown +
                " es una DLL de Windows y no se pudo preparar Wine para calificarla: " + failure.what();
        }
    }
}

// A name that is a folder's in --out, and a row's in the grades.
void require_usable_ids(const std::vector<Submission>& submissions, const std::vector<std::string>& given) {
    std::map<std::string, std::size_t> seen;
    for (std::size_t i = 0; i < submissions.size(); ++i) {
        const std::string& id = submissions[i].id;
        if (id.empty() || id == "." || id == "..") {
            throw UsageError("la entrega " + given[i] + " no tiene un nombre que sirva de nombre de carpeta");
        }
        if (const auto [where, added] = seen.emplace(id, i); !added) {
            throw UsageError("dos entregas con el mismo nombre, " + id + ": " + given[where->second] + " y " +
                             given[i]);
        }
    }
}

bool same_bytes(const fs::path& one, const fs::path& other) {
    std::ifstream a(one, std::ios::binary);
    std::ifstream b(other, std::ios::binary);
    return a && b && std::equal(std::istreambuf_iterator<char>(a), {}, std::istreambuf_iterator<char>(b), {});
}

// Equal keys for libraries of the same bytes: first by size, then byte by byte.
std::vector<std::string> library_keys(const std::vector<Submission>& submissions) {
    std::vector<std::string> keys(submissions.size());
    std::map<std::uintmax_t, std::vector<std::size_t>> by_size;
    for (std::size_t i = 0; i < submissions.size(); ++i) {
        std::error_code error;
        if (submissions[i].library.empty()) continue;
        const std::uintmax_t size = fs::file_size(submissions[i].library, error);
        if (!error) by_size[size].push_back(i);
    }
    for (const auto& [size, alike] : by_size) {
        if (alike.size() < 2) continue;
        for (const std::size_t i : alike) {
            if (!keys[i].empty()) continue;
            keys[i] = std::to_string(i);
            for (const std::size_t other : alike) {
                if (other > i && keys[other].empty() &&
                    same_bytes(submissions[i].library, submissions[other].library)) {
                    keys[other] = keys[i];
                }
            }
        }
    }
    return keys;
}

std::string seconds_text(std::chrono::milliseconds limit) {
    char written[32];
    std::snprintf(written, sizeof written, "%.3f", static_cast<double>(limit.count()) / 1000.0);
    return written;
}

// What a submission's worker is told: the library, what it may read, its
// private folder, for a DLL the Windows program that grades it and the
// prefix its own is copied from, and the rubric's options; the rubric comes
// on its input.
std::vector<std::string> worker_arguments(const std::string& library, const std::string& readable,
                                          const std::string& work,
                                          const std::vector<std::string>& windows_grader,
                                          const Options& options) {
    std::vector<std::string> arguments{"grade", library, readable, work};
    arguments.insert(arguments.end(), windows_grader.begin(), windows_grader.end());
    arguments.insert(arguments.end(),
                     {"--rubric", *options.rubric, "--timeout", seconds_text(options.timeout), "--memory",
                      std::to_string(options.memory_megabytes), "--fuzz-inputs",
                      std::to_string(options.grade_fuzz_inputs)});
    if (options.without_isolation) arguments.emplace_back("--sin-aislamiento");
    return arguments;
}

std::vector<std::string> worker_arguments(const Submission& submission, const fs::path& wine_prefix,
                                          const Options& options) {
    std::vector<std::string> windows_grader;
    if (!submission.windows_program.empty()) {
        windows_grader = {submission.windows_program, utf8_of(wine_prefix)};
    }
    return worker_arguments(utf8_of(submission.library), utf8_of(submission.readable),
                            utf8_of(submission.work / "tmp"), windows_grader, options);
}

// Shows how far the grading has got: a line written over on a terminal,
// a line per submission elsewhere.
class GradingProgress {
public:
    explicit GradingProgress(std::size_t total) : total_(total), terminal_(standard_error_is_terminal()) {}
    ~GradingProgress() {
        if (terminal_ && shown_) write_standard_error("\n");
    }
    GradingProgress(const GradingProgress&) = delete;
    GradingProgress& operator=(const GradingProgress&) = delete;

    void graded(const SubmissionGrade& grade) {
        const std::lock_guard lock(mutex_);
        ++done_;
        if (!terminal_) {
            write_standard_error(text::with_visible_controls(grade.id) + ": " +
                                 (grade.ungradable
                                      ? "no calificable"
                                      : points_text(grade.score) + " de " + points_text(grade.max_score)) +
                                 "\n");
            return;
        }
        const double elapsed = std::chrono::duration<double>(Clock::now() - started_).count();
        const auto left = static_cast<long long>(elapsed / static_cast<double>(done_) *
                                                 static_cast<double>(total_ - done_));
        write_standard_error(
            "\r\x1B[Kcalificadas " + std::to_string(done_) + " de " + std::to_string(total_) +
            (done_ < total_
                 ? ", quedan unos " + std::to_string(left / 60) + " min " + std::to_string(left % 60) + " s"
                 : std::string()));
        shown_ = true;
    }

private:
    std::mutex mutex_;
    const std::size_t total_;
    const bool terminal_;
    std::size_t done_ = 0;
    bool shown_ = false;
    const Clock::time_point started_ = Clock::now();
};

std::string replaced(std::string text, std::string_view what, std::string_view with) {
    for (std::size_t at = text.find(what); !what.empty() && at != std::string::npos;
         at = text.find(what, at + with.size())) {
        text.replace(at, what.size(), with);
    }
    return text;
}

// What the grade says of the library by its absolute path, which names the
// run's private folder, named as the submission names it: the same
// submissions give the same grades, words and all, on any run.
void said_as_submitted(SubmissionGrade& grade, CaseRun& run, const Submission& submission) {
    const auto as_submitted = [&](std::string text) {
        // A DLL graded under Wine is named as Windows programs name it there.
        for (const std::string& library :
             {utf8_of(submission.library), wine_path(utf8_of(submission.library))})
            text = replaced(std::move(text), library, submission.shown);
        for (const std::string& work : {utf8_of(submission.work), wine_path(utf8_of(submission.work))})
            text = replaced(std::move(text), work, "");
        return text;
    };
    if (grade.ungradable) grade.ungradable = as_submitted(*grade.ungradable);
    for (GradedTest& test : grade.tests) test.output = as_submitted(std::move(test.output));
    for (CaseResult& result : run.results) result.failure = as_submitted(std::move(result.failure));
    if (run.not_bound) run.not_bound = as_submitted(*run.not_bound);
}

// A fuzz finding as its student reads it, with the input that shows it: the
// file in `folder` that holds it goes with the worker's private folder.
std::string finding_in_words(const FuzzFinding& finding, const std::string& folder) {
    std::string input = finding.input;
    if (input.empty() && !finding.file.empty()) {
        std::ifstream saved(path_of(folder) / path_of(finding.file), std::ios::binary);
        input.assign(std::istreambuf_iterator<char>(saved), {});
    }
    if (input.empty()) return finding.what;  // before any input: the call made first
    constexpr std::size_t kMostShown = 200;
    const bool cut = input.size() > kMostShown;
    input.resize(std::min(input.size(), kMostShown));
    return finding.what + "\n  entrada: «" +
           text::with_visible_controls(text::to_utf8(binding::from_eight_bit(input))) + (cut ? "…»" : "»");
}

// One submission graded by its worker; false when the worker failed us.
bool grade_one(const Rubric& rubric, const std::string& rubric_bytes, const Submission& submission,
               const fs::path& wine_prefix, const Options& options, SubmissionGrade& grade, CaseRun& run) {
    const Clock::time_point started = Clock::now();
    const ChildOutcome outcome = run_this_program(worker_arguments(submission, wine_prefix, options),
                                                  rubric_bytes, kWorkerLimit, ErrorOutput::discarded);
    const std::optional<ChildReport> report = outcome.ending == ChildOutcome::Ending::exited
                                                  ? opened(outcome.reported, outcome.exit_status)
                                                  : std::nullopt;
    const std::optional<SubmissionResults> results =
        report && report->status == kDone ? results_from_record(report->content) : std::nullopt;
    if (!results) {
        // The worker's own words when it said why; otherwise how it ended.
        const std::string why =
            report && report->status == kInternalError && !report->content.empty() ? report->content
            : outcome.cause.empty()
                ? "su proceso terminó con el estado " + std::to_string(outcome.exit_status)
                : "su proceso terminó: " + outcome.cause;
        grade = ungradable(rubric, submission.id, "zavlek-call no pudo calificarla: " + why);
        return false;
    }
    grade = graded(rubric, submission.id, *results);
    run = results->run;
    said_as_submitted(grade, run, submission);
    grade.library = submission.shown;
    grade.seconds = std::chrono::duration<double>(Clock::now() - started).count();
    return true;
}

void write_file(const fs::path& path, std::string_view bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!(file << bytes << std::flush)) throw std::runtime_error("no se pudo escribir " + utf8_of(path));
}

std::string isolation_in_words(const Options& options) {
    if (options.without_isolation) {
        return "ninguno (--sin-aislamiento): las entregas pueden leer, escribir y conectarse como cualquier "
               "programa";
    }
    if (std::optional<std::string> offered = confinement_offered()) return *offered;
    throw UsageError(
        "este sistema no puede aislar las entregas (en Linux hace falta Landlock, del núcleo 5.13 en "
        "adelante; en Windows no se aíslan): su código podría leer y escribir lo que usted puede. Califique "
        "donde se puedan aislar, o con --sin-aislamiento si confía en ese código");
}

}  // namespace

int grade_class(const Options& options) {
    const std::string rubric_bytes = read_text(*options.rubric);
    ReadRubric read = read_rubric(*options.rubric, rubric_bytes);
    if (!read.faults.empty()) {
        for (const std::string& fault : read.faults)
            write_standard_error(text::with_visible_controls(fault) + "\n");
        throw CaseFormatError{};
    }
    const Rubric& rubric = read.rubric;
    const std::string isolation = isolation_in_words(options);
    const fs::path out = path_of(*options.out);
    std::error_code error;
    fs::create_directories(out, error);
    if (!fs::is_directory(out)) throw UsageError("no se pudo crear la carpeta " + *options.out);

    const PrivateFolder work;
    std::vector<Submission> submissions;
    for (std::size_t i = 0; i < options.case_files.size(); ++i) {
        submissions.push_back(prepared(options.case_files[i], work.path() / std::to_string(i)));
    }
    require_usable_ids(submissions, options.case_files);
    const fs::path wine_prefix = work.path() / "wine";
    prepare_for_wine(submissions, wine_prefix);

    std::vector<SubmissionGrade> grades(submissions.size());
    std::vector<CaseRun> runs(submissions.size());
    std::atomic<std::size_t> next{0};
    std::atomic<bool> failed_us{false};
    GradingProgress progress(submissions.size());
    const auto work_through = [&] {
        for (std::size_t i = next++; i < submissions.size(); i = next++) {
            const Submission& submission = submissions[i];
            if (submission.ungradable) {
                grades[i] = ungradable(rubric, submission.id, *submission.ungradable);
            } else if (!grade_one(rubric, rubric_bytes, submission, wine_prefix, options, grades[i],
                                  runs[i])) {
                failed_us = true;
            }
            progress.graded(grades[i]);
        }
    };
    {
        const std::size_t jobs = std::min(
            options.jobs.value_or(std::max(1u, std::thread::hardware_concurrency())), submissions.size());
        std::vector<std::jthread> workers;
        for (std::size_t j = 1; j < jobs; ++j) workers.emplace_back(work_through);
        work_through();
    }
    mark_copies(grades, library_keys(submissions));

    std::vector<std::size_t> order(grades.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::ranges::sort(order, {}, [&grades](std::size_t i) { return grades[i].id; });
    std::vector<SubmissionGrade> sorted;
    for (const std::size_t i : order) sorted.push_back(grades[i]);
    try {
        write_file(out / "notas.csv", grades_csv(rubric, sorted));
        write_file(out / "resumen.json", class_summary_json(rubric, sorted, isolation));
        write_file(out / "informe.html", class_report_html(rubric, sorted, isolation));
        for (const std::size_t i : order) {
            const SubmissionGrade& grade = grades[i];
            const fs::path folder = out / path_of(grade.id);
            fs::create_directories(folder);
            write_file(folder / "results.json", gradescope_results(rubric, grade));
            write_file(folder / "prairielearn.json", prairielearn_results(rubric, grade));
            // An ungradable submission's cases fail, each with the reason.
            if (grade.ungradable) runs[i] = CaseRun{{}, grade.ungradable};
            write_file(folder / "junit.xml",
                       junit_report({rubric.file}, rubric.cases, runs[i], grade.library));
        }
    } catch (const std::exception& failure) {
        tell(failure.what());
        return kOutputNotWritten;
    }
    write_standard_output(grades_table(sorted, isolation));
    return failed_us ? kInternalError : kDone;
}

namespace {

// A DLL's worker: the Windows build of this program grades it under Wine, in
// a prefix of its own made in this worker's private folder, and its record
// is passed on, its hidden cases judged here.
ChildReport graded_under_wine(const std::vector<std::string>& words, const Options& options,
                              const Rubric& rubric, std::string_view rubric_bytes) {
    const std::string& private_folder = words[2];
    // Confined as any submission, but that Wine's server, trusted, is
    // started before sockets are refused; and that what it reads counts the
    // Windows program and the prepared prefix.
    Confinement confinement;
    confinement.readable = {words[1], utf8_of(path_of(this_program_file()).parent_path()),
                            utf8_of(path_of(words[3]).parent_path()), words[4]};
    confinement.writable = private_folder;
    // Wine reserves more address space than a limit on each process would
    // leave; the Windows program limits the memory of each of its children.
    confinement.most_memory_bytes = std::numeric_limits<std::uint64_t>::max();
    WineRun wine;
    confinement.before_sockets_refused = [&] {
        // Wine's server leaves the process that starts it: ours to end.
        end_what_children_leave();
        fs::current_path(path_of(private_folder));
        wine = wine_run_in_copy(words[4], utf8_of(path_of(private_folder) / "wine"), words[3]);
    };
    try {
        if (options.without_isolation) {
            limit_this_process(confinement);
        } else {
            confine_this_process(confinement);
        }
    } catch (const std::exception& failure) {
        return {kInternalError, failure.what()};
    }
    Options windows = options;
    windows.without_isolation = true;
    // Under Wine whatever runs the DLL can read the Windows program's
    // memory: the hidden cases' expectations stay here, and are judged here.
    const ChildOutcome outcome = run_under_wine(
        wine,
        worker_arguments(wine_path(words[0]), wine_path(words[1]), wine_path(private_folder), {}, windows),
        rubric_without_hidden_expectations(rubric, rubric_bytes), kWorkerLimit);
    const std::optional<ChildReport> report = outcome.ending == ChildOutcome::Ending::exited
                                                  ? opened(outcome.reported, outcome.exit_status)
                                                  : std::nullopt;
    if (report && report->status == kDone) {
        if (std::optional<SubmissionResults> results = results_from_record(report->content)) {
            ThisProgramsChildren children;
            judge_hidden_cases(rubric, results->run, children, options.timeout);
            return {kDone, results_record(*results)};
        }
    }
    if (report) return *report;
    return {kInternalError,
            "su zavlek-call de Windows no dio su resultado bajo Wine (" +
                (outcome.cause.empty() ? "estado " + std::to_string(outcome.exit_status) : outcome.cause) +
                ")"};
}

}  // namespace

ChildReport child_grade(std::string_view, const std::vector<std::string>& words, const Options& options) {
    if ((words.size() != 3 && words.size() != 5) || !options.rubric) return {kWrongUsage, {}};
    const std::string& library = words[0];
    const std::optional<ReadBytes> rubric_bytes = read_at_most(stdin, kLargestText);
    if (!rubric_bytes) return {kWrongUsage, {}};
    const ReadRubric read = read_rubric(*options.rubric, rubric_bytes->bytes);
    if (!read.faults.empty()) return {kWrongUsage, {}};
    const Rubric& rubric = read.rubric;
    if (words.size() == 5) return graded_under_wine(words, options, rubric, rubric_bytes->bytes);

    // Before anything else runs: whatever this process starts is confined
    // as it is.
    Confinement confinement;
    confinement.readable = {words[1], utf8_of(path_of(this_program_file()).parent_path())};
    confinement.writable = words[2];
    confinement.most_memory_bytes = options.memory_megabytes << 20;
    try {
        if (options.without_isolation) {
            limit_this_process(confinement);
        } else {
            confine_this_process(confinement);
        }
        // The folder we were started in may be closed to us now.
        fs::current_path(path_of(words[2]));
    } catch (const std::exception& failure) {
        // Said to the teacher with the submission: a folder closed to
        // others, say, which a worker that is not root cannot enter.
        return {kInternalError, failure.what()};
    }
    end_what_children_leave();

    SubmissionResults results;
    const std::vector<Check>& checks = contract_checks();
    const CheckResult loads = run_check(checks.front(), library, options.timeout);
    if (loads.finding.library_not_loaded || loads.finding.verdict == Verdict::failed) {
        results.not_loaded = loads.finding.detail;
        return {kDone, results_record(results)};
    }
    ThisProgramsChildren children;
    results.run = run_cases(children, cases_for_the_library(rubric), library, options.timeout);
    judge_hidden_cases(rubric, results.run, children, options.timeout);
    if (rubric.has(RubricGroup::Kind::contract)) {
        results.contract.push_back(loads);
        for (auto check = checks.begin() + 1; check != checks.end(); ++check)
            results.contract.push_back(run_check(*check, library, options.timeout));
    }
    if (rubric.has(RubricGroup::Kind::fuzz)) {
        FuzzSettings settings;
        settings.library = library;
        settings.duration = kUnboundedRun;
        settings.most_inputs = options.grade_fuzz_inputs;
        settings.limit = options.timeout;
        settings.seed = kGradeSeed;
        settings.out = utf8_of(path_of(words[2]) / "fuzz");
        const std::unique_ptr<FindingFolder> folder = prepared_out_folder(settings.out);
        const FuzzSummary summary = fuzz(children, *folder, settings, {});
        FuzzFound found{summary.inputs, {}};
        for (const FuzzFinding& finding : summary.findings)
            found.findings.push_back(finding_in_words(finding, settings.out));
        if (summary.not_bound) found.findings.push_back(*summary.not_bound);
        results.fuzz = std::move(found);
    }
    return {kDone, results_record(results)};
}

}  // namespace kavrelo::zavlek_call
