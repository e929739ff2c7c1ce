// A batch of renders: the plan checked whole before anything is written, the output folders
// made, then the inputs rendered by a few workers at once, in the order given; a failed input is
// said in one line while the others go on, and leaves nothing behind.
#include "render/batch_render.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "audio/audio_source.h"
#include "output/frame_sink.h"
#include "render/batch_console.h"
#include "render/batch_plan.h"
#include "render/render_job.h"

namespace lumacore::cli {
namespace {

namespace fs = std::filesystem;

// One track's progress, told to the batch's console.
class TrackProgress : public RenderProgress {
  public:
    TrackProgress(BatchConsole& console, std::size_t track) : console_(console), track_(track) {}
    void begin(std::int64_t expectedPictures) override {
        console_.started(track_, expectedPictures);
    }
    void update(std::int64_t pictures) override { console_.pictures(track_, pictures); }
    void note(const std::string& line) override { console_.say(line); }

  private:
    BatchConsole& console_;
    std::size_t track_;
};

// While it lives, the decoder's notes go through the console rather than straight to standard
// error, so that they never cut into the progress line.
class NotesThrough {
  public:
    explicit NotesThrough(BatchConsole& console) {
        setNoteHandler([&console](const std::string& line) { console.say(line); });
    }
    ~NotesThrough() { setNoteHandler({}); }
    NotesThrough(const NotesThrough&) = delete;
    NotesThrough& operator=(const NotesThrough&) = delete;
};

std::string withoutSlash(std::string name) {
    while (name.size() > 1 && name.back() == '/')
        name.pop_back();
    return name;
}

// Creates `folder` and its missing parents, adding those it made to `created`, outermost
// first. Throws OutputError.
void createFolders(const fs::path& folder, std::vector<fs::path>& created) {
    std::vector<fs::path> missing;
    std::error_code error;
    for (fs::path at = folder; !at.empty() && !fs::exists(at, error); at = at.parent_path()) {
        missing.push_back(at);
        if (at == at.parent_path()) break;
    }
    for (auto at = missing.rbegin(); at != missing.rend(); ++at) {
        if (fs::create_directory(*at, error))
            created.push_back(*at);
        else if (error)
            throw OutputError("cannot create folder '" + at->string() + "': " + error.message());
    }
}

// "INPUT: why", however the message began.
std::string failureLine(const std::string& input, const std::string& what) {
    return what.starts_with(input + ": ") ? what : input + ": " + what;
}

void checkBatch(const RenderOptions& options, const BatchOptions& batch) {
    if (const std::string problem = checkOptions(options); !problem.empty())
        throw std::invalid_argument(problem);
    if (batch.inputs.empty())
        throw std::invalid_argument("--format names the type of a batch's outputs: give the "
                                    "audio files or folders to render");
    if (!options.framesFile.empty())
        throw std::invalid_argument("--frames renders one frames file, not a batch of inputs");
    if (batch.atGiven)
        throw std::invalid_argument("--at makes a still of one input; a batch writes videos or "
                                    "PNG sequences");
    if (batch.jobs < 0 || batch.jobs > kMaxJobs)
        throw std::invalid_argument("--jobs must be 1 to " + std::to_string(kMaxJobs));
}

// Refuses a batch whose outputs the output code would not write as `format` asks (a folder
// named like a video would become a PNG sequence), or a type it does not know.
void checkOutputTypes(const std::vector<BatchJob>& jobs, const std::string& format) {
    const OutputKind wanted = format == "png" ? OutputKind::Sequence : OutputKind::Video;
    for (const BatchJob& job : jobs)
        if (classifyOutput(job.output).kind != wanted)
            throw std::invalid_argument("'" + job.output + "', the output of " + job.input +
                                        ", is a folder, not a ." + format + " file");
}

// The pictures each track still to render will make, from its file's headers, for the batch's
// total; 0 for a file that cannot be read (it will fail, and leave the count).
void expectLengths(BatchConsole& console, const std::vector<BatchJob>& jobs,
                   const std::vector<bool>& ready, const RenderOptions& options) {
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        if (!ready[i]) continue;
        try {
            const double length = probeAudio(jobs[i].input).durationSeconds;
            const double afterStart = length < 0 ? -1 : std::max(0.0, length - options.start);
            console.expect(i, expectedPictures(options, afterStart));
        } catch (const std::exception&) {
            console.expect(i, 0);
        }
    }
}

// Makes the output folder, then each output's own folder (adding those made to `created`); an
// output whose folder cannot be made fails at once. Returns which jobs can start.
std::vector<bool> makeFolders(const std::vector<BatchJob>& jobs, const std::string& output,
                              BatchConsole& console, std::vector<fs::path>& created) {
    createFolders(withoutSlash(output), created);
    std::vector<bool> ready(jobs.size(), true);
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        try {
            createFolders(fs::path(withoutSlash(jobs[i].output)).parent_path(), created);
        } catch (const FileError& error) {
            console.failed(i, failureLine(jobs[i].input, error.what()));
            ready[i] = false;
        }
    }
    return ready;
}

// Renders the jobs that are ready, `workers` at a time, taking them in order, each over
// `picture` when there is one; returns how many failed.
int renderAll(const std::vector<BatchJob>& jobs, const std::vector<bool>& ready,
              const RenderOptions& options, const std::shared_ptr<const Bitmap>& picture,
              BatchConsole& console, int workers) {
    std::atomic<std::size_t> next = 0;
    std::atomic<int> failures = 0;
    const auto work = [&] {
        for (std::size_t i = next++; i < jobs.size(); i = next++) {
            if (!ready[i]) continue;
            RenderOptions one = options;
            one.input = jobs[i].input;
            one.output = jobs[i].output;
            TrackProgress progress(console, i);
            try {
                runRender(std::move(one), progress, picture);
                console.finished(i);
            } catch (const std::exception& error) {
                console.failed(i, failureLine(jobs[i].input, error.what()));
                ++failures;
            }
        }
    };
    std::vector<std::jthread> threads;
    for (int w = 0; w < workers; ++w)
        threads.emplace_back(work);
    threads.clear(); // joins them: every render over
    return failures;
}

} // namespace

int defaultJobs(unsigned cores) {
    // One render keeps between one core (small pictures) and about one and a half (720p and up:
    // the picture on one thread, the encoding on another with x264's beside it) busy. On two
    // cores, two at once took 18 % less time than one at a time at 1280x720, 60 frames/s, and
    // 36 % less at 320x180; with other work keeping the cores busy, as long (docs/performance.md,
    // bench/batch_figures.sh). So one per core; at most four, which keeps the memory in bounds.
    return static_cast<int>(std::clamp(cores, 1u, 4u));
}

int runBatch(RenderOptions options, const BatchOptions& batch) {
    // 1. The options, and the outputs' names: a batch refused leaves nothing behind.
    applyDefaults(options);
    checkBatch(options, batch);
    std::vector<std::string> problems;
    const std::vector<BatchJob> jobs =
        planBatch({batch.inputs, options.output, batch.format, batch.recursive}, problems);
    checkOutputTypes(jobs, batch.format);
    // The picture behind every track, decoded once and shared, all tracks being of one size: a
    // file that cannot be read is the user's choice gone wrong, refused here once.
    const std::shared_ptr<const Bitmap> picture = backgroundPicture(options);

    // 2. The folders, and the batch's length for its progress line.
    BatchConsole console(jobs.size(), !options.quiet);
    for (const std::string& problem : problems)
        console.say(problem);
    std::vector<fs::path> created;
    const std::vector<bool> ready = makeFolders(jobs, options.output, console, created);
    if (console.showsProgress()) expectLengths(console, jobs, ready, options);

    // 3. The renders, a few at once, the decoder's notes through the console.
    const auto waiting = static_cast<int>(std::count(ready.begin(), ready.end(), true));
    const int workers = std::min(
        batch.jobs > 0 ? batch.jobs : defaultJobs(std::thread::hardware_concurrency()), waiting);
    int failures = static_cast<int>(problems.size() + jobs.size()) - waiting;
    {
        const NotesThrough notes(console);
        failures += renderAll(jobs, ready, options, picture, console, workers);
    }

    // 4. Folders made for outputs that failed hold nothing: they go (a folder in use stays).
    for (auto folder = created.rbegin(); folder != created.rend(); ++folder) {
        std::error_code ignored;
        fs::remove(*folder, ignored);
    }
    return failures > 0 ? 1 : 0;
}

} // namespace lumacore::cli
