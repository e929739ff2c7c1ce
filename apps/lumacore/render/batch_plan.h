// What a batch of renders will write: one output for each audio input, named after the input's
// file in the output folder, decided and checked before anything is written.
#pragma once

#include <string>
#include <vector>

namespace lumacore::cli {

struct BatchJob {
    std::string input;  // a file given, or one found in a folder given
    std::string output; // the video file, or the PNG sequence's folder (ending in '/')
};

struct BatchRequest {
    std::vector<std::string> inputs; // files and folders, in the order given
    std::string output;              // the folder the outputs go into
    std::string format = "mp4";      // mp4, mkv, webm, mov or png (a PNG sequence per input)
    bool recursive = false;          // folders with their subfolders
};

// Whether `output` names a folder for a batch: a name ending in '/' or an existing folder.
bool isFolderTarget(const std::string& output);

// Whether a render command line asks for a batch: several inputs; one folder of inputs into an
// output folder; or a --format given (which names the type of a batch's outputs).
bool isBatch(const std::vector<std::string>& inputs, const std::string& output, bool formatGiven);

// The jobs, in the order of the inputs, a folder's audio files sorted by name; a file inside
// a subfolder (with `recursive`) keeps its sub-path under the output folder. A folder that holds
// no audio or cannot be listed adds one line to `problems`; a file given by name becomes a job
// whatever it is, to fail there if it is no audio. Throws std::invalid_argument, with one line,
// when the output is no folder, when one file is given twice (however spelled), when two inputs
// would be written to the same output or to names that differ only in case (one file on exFAT
// or a Windows share), or when an output would replace an input.
std::vector<BatchJob> planBatch(const BatchRequest& request, std::vector<std::string>& problems);

} // namespace lumacore::cli
