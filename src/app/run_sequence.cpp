#include "app/run_sequence.h"

#include "app/arguments.h"
#include "app/exit_codes.h"
#include "app/fatal_error.h"
#include "app/status_line.h"
#include "identity/database_file.h"
#include "naming/free_name_search.h"
#include "os/console.h"
#include "os/raised_error.h"
#include "system/computer_name.h"
#include "system/reboot.h"

namespace vorlane {

namespace {

SearchMode chooseMode(const OptionList& options) {
    if (options.hasFlag("/d")) return SearchMode::Serial;
    if (options.hasFlag("/r")) return SearchMode::Random;
    return SearchMode::Sequential;
}

// The change itself, or with /n the line that tells what it would be.
ApplyOutcome changeName(SystemServices& system, const RunContext& context,
                        const std::string& name) {
    if (context.preview) {
        writeLine(system, {"My name would be ", name});
        return {true, 0};
    }
    return applyName(system, name);
}

int exitCodeOf(const ApplyOutcome& outcome) {
    return outcome.changed ? exit_code::kSuccess : static_cast<int>(outcome.errorCode);
}

// With file=: applies the name the database gives this machine and ends the
// run, unless there is none and /w asks for one to be found and recorded.
std::optional<int> databaseStage(SystemServices& system, const OptionList& options,
                                 RunContext& context) {
    const std::string path = options.value("file");
    NameDatabase& database = context.database.emplace();
    if (databasePresent(system, path) &&
        loadDatabase(system, path, database) == LoadResult::TooLarge) {
        writeLine(system, {"The database ", path, " is larger than 256 MiB"});
        return exit_code::kDatabaseTooLarge;
    }
    context.databasePath = path;
    const std::string name = database.lookup(system, formatSerialKey(context.serial));
    if (name.empty() && context.writeBack) return std::nullopt;
    return exitCodeOf(changeName(system, context, name));
}

// After a change by pattern, with /w: the name goes into the database under
// this machine's key. A failure is reported and the run goes on. The
// arguments check has made sure that /w comes with file=, so the database
// stage has loaded the file.
void recordName(SystemServices& system, RunContext& context, const std::string& name) {
    if (!context.writeBack || !context.database) return;
    try {
        storeRecord(system, context.databasePath, formatSerialKey(context.serial), name,
                    *context.database);
    } catch (const RaisedError& error) {
        writeLine(system, {"Failed to store name into database: ", error.what()});
    }
}

// From the network scope's start to its stop: find a name by pattern and
// apply it.
int patternStage(SystemServices& system, const OptionList& options, RunContext& context) {
    NetworkScope network(system);
    network.start();

    SearchRequest request;
    request.mode = chooseMode(options);
    request.pattern = makeNamePattern(options.value("name"));
    request.startText = options.value("start");
    request.endText = options.value("end");
    request.serial = context.serial;
    if (context.writeBack) {
        // A name the file already gives another machine is not free, even
        // when that machine is off and no host answers to it.
        const std::string key = formatSerialKey(context.serial);
        request.isReserved = [&system, &context, key](const std::string& name) {
            return context.database->givesNameToAnotherKey(system, name, key);
        };
    }
    StatusLine status(system);
    request.beforeProbe = [&status](const std::string& name, std::uint64_t place,
                                    std::uint64_t most) { status.showProbe(name, place, most); };
    if (context.preview) {
        request.onProbe = [&system, &status](const std::string& name, bool taken) {
            status.clear();
            writeLine(system, {name, taken ? " is taken" : " is free"});
        };
    }
    // The code read after a refused change must be that change's own.
    system.SetLastError(0);

    const SearchOutcome found = chooseCandidate(system, context.random, request);
    status.clear();
    switch (found.kind) {
        case SearchOutcome::Kind::NoFreeName:
            writeLine(system, {"All spots taken."});
            network.stop();
            return exit_code::kNoFreeName;
        case SearchOutcome::Kind::NameTooLong:
            writeLine(system, {"The name \"", found.name, "\" is longer than ",
                               std::to_string(kMaxNameLength), " characters"});
            network.stop();
            return exit_code::kNameTooLong;
        case SearchOutcome::Kind::Found:
            break;
    }

    const ApplyOutcome applied = changeName(system, context, found.name);
    if (applied.changed && !context.preview) {
        recordName(system, context, found.name);
        if (options.hasFlag("/re")) rebootAfterChange(system, found.name);
    }
    network.stop();
    return exitCodeOf(applied);
}

int runStages(SystemServices& system, const OptionList& options, RunContext& context) {
    context.writeBack = options.hasFlag("/w");
    context.preview = options.hasFlag("/n");
    if (auto refused = checkArgumentLengths(system, options)) return *refused;
    if (auto refused = checkArguments(system, options)) return *refused;

    context.serial = readVolumeSerial(system);
    if (usageWanted(options)) {
        showUsage(system, options, context.serial);
        return exit_code::kSuccess;
    }
    context.random.seed(system.randomSeed());
    if (!options.value("file").empty()) {
        if (auto ended = databaseStage(system, options, context)) return *ended;
    }
    return patternStage(system, options, context);
}

}  // namespace

int runSequence(SystemServices& system, const OptionList& options) {
    RunContext context;
    try {
        return runStages(system, options, context);
    } catch (const RaisedError& error) {
        return reportFatalError(system, error);
    }
}

}  // namespace vorlane
