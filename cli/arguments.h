#pragma once

#include "engine.h"
#include "preparation_options.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

// What gramisola-cli was asked to do.
struct Arguments {
    enum class Action { Generate, ShowHelp, ShowVersion };
    Action action = Action::Generate;
    QString file; // "-" for standard input
    int order = 4;
    qint64 length = 65535;
    std::optional<std::uint64_t> seed;
    PreparationOptions options;
    bool prepareOnly = false;
    bool raw = false;
    bool quiet = false; // no progress line on the terminal
    Engine engine = kDefaultEngine;
};

// The help text, in Italian, as --help prints it.
extern const char kUsage[];

// Parses the arguments after the program's name. Returns an Italian message
// for the first thing wrong, or an empty string when `parsed` is complete.
// --help and --version win over any error.
QString ParseArguments(const QStringList &arguments, Arguments &parsed);
