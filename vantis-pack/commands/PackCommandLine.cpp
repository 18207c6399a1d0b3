#include "vantis-pack/commands/PackCommandLine.h"

#include <getopt.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <ostream>

#include "vantis-pack/commands/BuildInstaller.h"
#include "vantis-pack/commands/DiffInstaller.h"
#include "vantis-pack/commands/InspectInstaller.h"

namespace fs = std::filesystem;

namespace {

constexpr char kOverview[] =
    "usage: vantis-pack COMMAND [ARGUMENTS]\n"
    "\n"
    "Builds and inspects Vantis patch installers: the installer program with an encrypted\n"
    "package of the patch's files appended.\n"
    "\n"
    "commands:\n"
    "  build SOURCE_DIR -o OUTPUT.exe [OPTIONS]\n"
    "                          pack every file below SOURCE_DIR into an installer\n"
    "  diff OLD_GAME NEW_GAME -o PATCH.exe [OPTIONS]\n"
    "                          pack what takes a game folder from OLD to NEW\n"
    "  list INSTALLER [--json] show the manifest and every entry\n"
    "  verify INSTALLER [--json] [--game DIR]\n"
    "                          read, decrypt and check every entry as the installer would\n"
    "  extract INSTALLER -C DIR [--game DIR] [NAME]...\n"
    "                          write every entry, or the named ones, below DIR\n"
    "\n"
    "With --json, each command writes its result as one JSON object in UTF-8 on stdout,\n"
    "on failure too (usage errors aside), and nothing else there; the error also goes to\n"
    "stderr. Its \"formatVersion\" (now 1) is raised only when a field that the command's\n"
    "help names changes its meaning or goes away; new fields may appear without it.\n"
    "\n"
    "Options go before or after the arguments. A value follows its option apart or\n"
    "attached (-o PATH, -oPATH, --output PATH, --output=PATH), short options bundle\n"
    "(-qC DIR), and \"--\" ends the options: every argument after it is a name.\n"
    "\n"
    "vantis-pack --version (or -V) shows the tool's version.\n"
    "Run \"vantis-pack COMMAND --help\" for a command's details. Exit status: 0 success,\n"
    "1 failure, 2 wrong command line, 130 or 143 when interrupted by Ctrl-C or SIGTERM\n"
    "(the partial output is deleted first).\n";

constexpr char kBuildHelp[] =
    "usage: vantis-pack build SOURCE_DIR -o OUTPUT.exe [--stub PATH] [--key HEX]\n"
    "                         [--notes-encoding utf-8|cp936|auto] [--exclude PATTERN]...\n"
    "                         [--plain] [--dry-run] [--quiet] [--json]\n"
    "\n"
    "Packs every file below SOURCE_DIR into OUTPUT.exe, named by its path relative to\n"
    "SOURCE_DIR. SOURCE_DIR/config.txt is the manifest and must be there, for example:\n"
    "    1.0.5 <= 1.0.4\n"
    "    notes shown to the user...\n"
    "(the version after the patch, the rule \"=\" or \"<=\", the version the rule compares\n"
    "with, then the notes). Symbolic links are followed when they stay inside SOURCE_DIR;\n"
    "empty folders are left out, as the installer creates folders only for files, and so\n"
    "are vantis-pack's own temporary files (.~vantis-pack-XXXXXXXX, and NAME.~vantis-pack\n"
    "from older versions). Every problem is reported in one run (the first 20 and their\n"
    "count), and then nothing is written. OUTPUT.exe appears only when it is complete; on\n"
    "any error, interruption or kill nothing is left behind that lives on (a temporary\n"
    "file a killed run had named is removed by the next run that writes to its folder).\n"
    "The notes' LF line ends become CR LF, the only ones Windows breaks lines at, and a\n"
    "warning says when the notes need more than the dialog's 3 lines or are too wide.\n"
    "OUTPUT.exe's length is a multiple of 8, ready for signing; the summary shows its\n"
    "SHA-256. Sign OUTPUT.exe afterwards; a signed --stub is refused. The package\n"
    "carries integrity data (CRC-32C of every entry, the directory, header and\n"
    "trailer): the installer checks it before it writes anything and refuses a damaged\n"
    "download; installer programs that know nothing of it install the same files.\n"
    "Files are stored deflated where that is smaller and the installer program\n"
    "declares that it reads such entries; --plain stores every file whole.\n"
    "\n"
    "options:\n"
    "  -o, --output PATH       the installer to write (replaced if it is a regular file;\n"
    "                          a device, pipe, link or folder there is refused)\n"
    "  --stub PATH             the installer program to append the package to; by default\n"
    "                          vantis-installer.exe beside vantis-pack, then the one\n"
    "                          installed with it (../share/vantis-pack/ from its bin/),\n"
    "                          then, run from its build tree, the one that the win32\n"
    "                          build of the same source tree made\n"
    "  --key HEX               the package key, 1 to 74 bytes in hexadecimal; the same tree\n"
    "                          and key give the same bytes. Default: 16 random bytes\n"
    "  --notes-encoding ENC    how config.txt is written: utf-8 (converted to code page\n"
    "                          936, which the installer shows), cp936 (kept as it is), or\n"
    "                          auto (the default: utf-8 when it is valid UTF-8 with\n"
    "                          non-ASCII text, else cp936)\n"
    "  --exclude PATTERN       leave out the files and folders that PATTERN matches;\n"
    "                          repeatable. * and ? match within one name, [abc] and [!abc]\n"
    "                          one character, \\ quotes the next; letter case is ignored.\n"
    "                          Without \"/\" it is matched against each name on the path:\n"
    "                          .git, Thumbs.db, *.pdb. With \"/\" against the path from\n"
    "                          SOURCE_DIR and each folder on it: Data/cache, Data/*.tmp,\n"
    "                          /Thumbs.db (only the one at the top). As in .gitignore,\n"
    "                          ** as a whole name of the pattern spans any number of\n"
    "                          folders: **/*.pdb at any depth, Data/**/*.tmp in Data or\n"
    "                          below, Data/** all that Data holds; any other ** is *\n"
    "  --plain                 store every file whole, as installer programs that read\n"
    "                          no other kinds of entry need\n"
    "  --dry-run               check everything and list what would go in, with sizes;\n"
    "                          write nothing\n"
    "  -q, --quiet             print nothing but errors\n"
    "  --json                  write the result as one JSON object instead of the report,\n"
    "                          also on failure. Stable fields: \"formatVersion\",\n"
    "                          \"output\", \"dryRun\", \"built\" (true once OUTPUT.exe\n"
    "                          is written), \"problem\" (null or the error); after\n"
    "                          success, a dry run too: \"outputSize\", \"sha256\" (null\n"
    "                          for a dry run), \"key\" (\"given\" or \"random\"; the key\n"
    "                          itself is not shown), \"installerProgram\",\n"
    "                          \"entryCount\", \"wholeCount\", \"compressedCount\",\n"
    "                          \"deltaCount\", \"contentLength\" (stored),\n"
    "                          \"installedLength\", \"entries\" (\"name\", \"kind\",\n"
    "                          \"size\" as stored, \"installedSize\") and \"excluded\"\n"
    "                          (what --exclude left out). Names and paths that are not\n"
    "                          exactly text get \"...Bytes\" fields, as for list --json\n";

constexpr char kDiffHelp[] =
    "usage: vantis-pack diff OLD_GAME NEW_GAME -o PATCH.exe [--notes FILE] [--rule = | <=]\n"
    "                        [--exclude PATTERN]... [--stub PATH] [--key HEX]\n"
    "                        [--notes-encoding ENC] [--plain] [--dry-run] [--quiet]\n"
    "                        [--json]\n"
    "\n"
    "Packs the patch that takes a game folder from OLD_GAME to NEW_GAME: every file of\n"
    "NEW_GAME that OLD_GAME lacks or holds with other bytes (compared by content, not by\n"
    "time). Bin/version.xml is no entry, as the installer writes it. config.txt is made:\n"
    "NEW_GAME's version from its Bin/version.xml, the rule, OLD_GAME's version, then the\n"
    "notes. Refused, with every reason: a version file missing, without all three\n"
    "numbers, or with one beyond its field (major and minor 0 to 255, build 0 to 65535),\n"
    "NEW_GAME not newer than OLD_GAME, a changed file the installer would take for its\n"
    "manifest (config.txt at the top), a file of NEW_GAME where OLD_GAME has a folder of\n"
    "that name or the reverse, and everything build refuses. The patch cannot delete\n"
    "files: each file of OLD_GAME that NEW_GAME lacks is named in a warning.\n"
    "vantis-pack's own temporary files are left out of both folders, as for build.\n"
    "Changed files are stored as deltas against OLD_GAME's copies, under the rule \"=\"\n"
    "only (a delta fits no other file), new ones deflated, each where that is smaller\n"
    "and the installer program declares that it reads such entries.\n"
    "\n"
    "options:\n"
    "  -o, --output PATH       the installer to write, as for build\n"
    "  --notes FILE            the notes the installer shows, converted as config.txt is\n"
    "                          for build (see --notes-encoding); default: none\n"
    "  --rule = | <=           the game must be exactly OLD_GAME's version (=, the\n"
    "                          default), or at most that (<=)\n"
    "  --exclude PATTERN       as for build, on both folders\n"
    "  --stub, --key, --notes-encoding, --plain, --dry-run, -q, --quiet\n"
    "                          as for build\n"
    "  --json                  as for build, with \"new\", \"changed\" and \"unchanged\"\n"
    "                          (counts of NEW_GAME's files) and \"onlyInOld\" (the names\n"
    "                          the patch cannot delete), also stable\n";

constexpr char kListHelp[] =
    "usage: vantis-pack list INSTALLER [--json]\n"
    "\n"
    "Shows whether INSTALLER is signed (the size of its certificate table; the signature\n"
    "itself is for the signing tools to check), whether it carries integrity data and\n"
    "whether its directory, header and trailer check out (verify checks the entries\n"
    "too), the manifest's versions, rule and notes, and every entry with its size as\n"
    "stored, the size it installs (? when that cannot be read), its kind (whole,\n"
    "compressed, or a delta against the game's copy), aux fields and data offset, in\n"
    "the order the installer installs them, and the totals stored and installed.\n"
    "\n"
    "options:\n"
    "  --json                  the same as one JSON object: \"installer\", \"signature\"\n"
    "                          (\"signed\", \"certificateTableOffset\",\n"
    "                          \"certificateTableLength\"), \"integrity\" (\"present\",\n"
    "                          \"frameIntact\", \"directoryIntact\"), \"manifest\"\n"
    "                          (\"patchVersion\", \"rule\", \"ruleValid\",\n"
    "                          \"requiredVersion\", \"notes\"; null without config.txt),\n"
    "                          \"entryCount\", \"contentLength\" and \"entries\" (\"name\",\n"
    "                          \"size\" as stored, \"offset\", \"aux1\", \"aux2\", \"aux3\",\n"
    "                          \"kind\", \"installedSize\" or null, and for a delta\n"
    "                          \"sourceSize\", the game file's), in UTF-8.\n"
    "                          Names, rule and notes are code page 936 in INSTALLER,\n"
    "                          and its path may hold any bytes: where one is not\n"
    "                          exactly text, each byte that is no character shows as\n"
    "                          U+FFFD and a field with \"Bytes\" added to its name\n"
    "                          (\"nameBytes\", \"ruleBytes\", \"notesBytes\",\n"
    "                          \"installerBytes\") gives the exact bytes in hex. Only\n"
    "                          such text has one: without it, the text is exact.\n"
    "                          With \"formatVersion\" and \"problem\" (null, or why\n"
    "                          INSTALLER or its manifest cannot be read: then the\n"
    "                          document holds what could be read, and the exit status\n"
    "                          is 1). The fields named here are stable\n";

constexpr char kVerifyHelp[] =
    "usage: vantis-pack verify INSTALLER [--json] [--game DIR] [--quiet]\n"
    "\n"
    "Opens INSTALLER as the installer does, checks every name with its rule, with the\n"
    "rules build applies (names Windows cannot create, no valid code page 936) and\n"
    "against the others (a name used both as a file and as a folder, also in another\n"
    "letter case, which Windows treats as one), checks config.txt, and reads and\n"
    "decrypts every entry. Where INSTALLER carries integrity data (every one vantis-pack\n"
    "builds does), checks its directory, header and trailer first and every entry's\n"
    "data as it reads it, so that any damage is found. Inflates every compressed entry\n"
    "and checks the result; checks that every delta holds together, and with --game\n"
    "that it applies to the game's copy of its file and gives what was packed. Exits\n"
    "with 0 only when the installer would install every entry as packed; otherwise\n"
    "names every name it refuses, or every damaged structure or entry, and why. Also\n"
    "says whether INSTALLER is signed, and when it carries no integrity data.\n"
    "\n"
    "options:\n"
    "  --json                  write the verdict as list --json does, with \"verified\"\n"
    "                          (true or false), \"problem\" (null or the reason) and\n"
    "                          \"damagedEntries\" (each entry that failed, as \"name\");\n"
    "                          also when the verdict is a failure, and with --quiet.\n"
    "                          The fields named here and for list are stable\n"
    "  --game DIR              the game folder the patch applies to: each delta's file\n"
    "                          there (DIR/NAME) must be the one it was made from; a\n"
    "                          missing or other file is named\n"
    "  -q, --quiet             print nothing but errors: the exit status says it all\n";

constexpr char kExtractHelp[] =
    "usage: vantis-pack extract INSTALLER -C DIR [--game DIR] [--quiet] [--json] [NAME]...\n"
    "\n"
    "Writes every entry of INSTALLER below DIR (created if needed), or only the NAMEs:\n"
    "entries or folders as list shows them (\"Data/maps\" takes every entry below it).\n"
    "A NAME that matches nothing is an error, and then nothing is written. Regular files\n"
    "of the same name are replaced; a device, pipe, link or folder in an entry's place is\n"
    "refused. config.txt is written too, as stored: in code page 936. Names go through\n"
    "the installer's rule, and every entry to write through its integrity check (where\n"
    "INSTALLER carries integrity data), before anything is written: a damaged entry is\n"
    "named and nothing is written. Nothing is created outside DIR, also through links\n"
    "inside it. Each file is what the installer would install: compressed entries\n"
    "inflated, deltas applied to the game's copies from --game; a delta without\n"
    "--game, or whose file there is missing or not the one it was made from, is named\n"
    "and nothing is written.\n"
    "\n"
    "options:\n"
    "  -C, --directory DIR     the folder to write into\n"
    "  --game DIR              the game folder the patch applies to, for the deltas\n"
    "  -q, --quiet             print nothing but errors\n"
    "  --json                  write the result as one JSON object, also on failure.\n"
    "                          Stable fields: \"formatVersion\", \"installer\",\n"
    "                          \"directory\", \"extracted\" (true or false), \"problem\"\n"
    "                          (null or the error), \"fileCount\", \"installedLength\"\n"
    "                          and \"files\" (each file written, also before a failure:\n"
    "                          \"name\" as list shows it, \"size\"), with \"...Bytes\"\n"
    "                          fields as for list --json\n";

// One option of a command: its long name, its short letter (0: none), whether it takes a
// value and whether it may come again.
struct CommandOption {
  const char* longName;
  char shortName;
  bool takesValue;
  bool repeatable;
};

struct Command {
  const char* help;
  size_t positionalCount;  // the least; more are allowed where `morePositionals` says
  bool morePositionals;
  std::vector<CommandOption> options;
};

const std::map<std::string, Command>& Commands() {
  static const CommandOption kOutput = {"output", 'o', true, false};
  static const CommandOption kStub = {"stub", 0, true, false};
  static const CommandOption kKey = {"key", 0, true, false};
  static const CommandOption kNotesEncoding = {"notes-encoding", 0, true, false};
  static const CommandOption kExclude = {"exclude", 0, true, true};
  static const CommandOption kDryRun = {"dry-run", 0, false, false};
  static const CommandOption kPlain = {"plain", 0, false, false};
  static const CommandOption kQuiet = {"quiet", 'q', false, false};
  static const CommandOption kJson = {"json", 0, false, false};
  static const CommandOption kGame = {"game", 0, true, false};
  static const std::map<std::string, Command> commands = {
      {"build",
       {kBuildHelp, 1, false,
        {kOutput, kStub, kKey, kNotesEncoding, kExclude, kDryRun, kPlain, kQuiet, kJson}}},
      {"diff",
       {kDiffHelp, 2, false,
        {kOutput, kStub, kKey, kNotesEncoding, kExclude, {"notes", 0, true, false},
         {"rule", 0, true, false}, kDryRun, kPlain, kQuiet, kJson}}},
      {"list", {kListHelp, 1, false, {kJson}}},
      {"verify", {kVerifyHelp, 1, false, {kQuiet, kJson, kGame}}},
      {"extract",
       {kExtractHelp, 1, true, {{"directory", 'C', true, false}, kGame, kQuiet, kJson}}},
  };
  return commands;
}

struct ParsedArguments {
  std::vector<std::string> positional;
  std::map<std::string, std::string> options;  // by "--" and the long name; a flag's value is empty
  std::map<std::string, std::vector<std::string>> lists;  // repeatable options, in order
  bool help = false;
};

// getopt_long's value for an option without a short letter: above every letter.
constexpr int kLongOnlyBase = 256;
constexpr int kHelpValue = 'h';
// What getopt_long returns for each argument that is no option, in the order given ("-"
// at the front of its option letters), so that options may follow the positional
// arguments even where POSIXLY_CORRECT would stop it at the first one.
constexpr int kPositionalValue = 1;

constexpr CommandOption kHelpOption = {"help", 'h', false, false};

// The option that getopt_long's `value` stands for, or null.
const CommandOption* FindOption(const Command& command, int value) {
  if (value == kHelpValue) return &kHelpOption;
  for (size_t i = 0; i < command.options.size(); ++i) {
    const CommandOption& option = command.options[i];
    if (value == (option.shortName != 0 ? option.shortName : kLongOnlyBase + static_cast<int>(i))) {
      return &option;
    }
  }
  return nullptr;
}

// The message for an option getopt_long refused, in the spelling the user gave it.
// getopt_long reports a missing value and a value given to a flag differently in glibc
// and in MinGW-w64 (':' or '?'), so the option's own kind decides; `optopt` is 0 for an
// unknown long option, and `offending` is the argument it read last.
std::string DescribeRefusedOption(const Command& command, int refusedValue,
                                  const std::string& offending) {
  const CommandOption* known = FindOption(command, refusedValue);
  const bool spelledLong = offending.compare(0, 2, "--") == 0;
  if (known == nullptr) {
    if (refusedValue != 0) {
      return "unknown option -" + std::string(1, static_cast<char>(refusedValue));
    }
    return "unknown option " + offending.substr(0, offending.find('='));
  }
  const std::string name = spelledLong ? std::string("--") + known->longName
                                       : std::string("-") + known->shortName;
  return "option " + name + (known->takesValue ? " needs a value" : " takes no value");
}

// Parses with getopt_long, which glibc and MinGW-w64 both provide: values attached (-oPATH,
// --output=PATH) or apart, short options bundled (-qC DIR), options before and after the
// positional arguments, and "--" ending the options.
bool ParseArguments(const Command& command, const std::vector<std::string>& arguments,
                    ParsedArguments& parsed, std::string& error) {
  std::vector<option> longOptions;
  std::string letters = "-:h";  // in order; ':' returns a missing value without a message
  for (size_t i = 0; i < command.options.size(); ++i) {
    const CommandOption& declared = command.options[i];
    const int value =
        declared.shortName != 0 ? declared.shortName : kLongOnlyBase + static_cast<int>(i);
    longOptions.push_back({declared.longName, declared.takesValue ? required_argument : no_argument,
                           nullptr, value});
    if (declared.shortName != 0) {
      letters += std::string(1, declared.shortName) + (declared.takesValue ? ":" : "");
    }
  }
  longOptions.push_back({"help", no_argument, nullptr, kHelpValue});
  longOptions.push_back({nullptr, 0, nullptr, 0});

  // getopt_long may reorder the array it is given, never the strings.
  std::vector<std::string> copies(arguments);
  std::vector<char*> argv;
  for (std::string& argument : copies) argv.push_back(argument.data());
  argv.push_back(nullptr);
  const int argc = static_cast<int>(copies.size());

  // RunPackTool runs many times in one process: optind 0 makes both glibc and MinGW-w64
  // start afresh, also after a parse that stopped inside a bundle of short options.
  optind = 0;
  opterr = 0;
  ParsedArguments result;
  for (;;) {
    const int value = getopt_long(argc, argv.data(), letters.c_str(), longOptions.data(), nullptr);
    if (value == -1) break;
    if (value == kPositionalValue) {
      result.positional.push_back(optarg);
      continue;
    }
    const CommandOption* matched =
        value == '?' || value == ':' ? nullptr : FindOption(command, value);
    if (matched == &kHelpOption) {
      result.help = true;
      continue;
    }
    if (matched == nullptr) {
      const int last = std::min(std::max(optind - 1, 1), argc - 1);
      error = DescribeRefusedOption(command, optopt, argv[static_cast<size_t>(last)]);
      return false;
    }
    const std::string name = std::string("--") + matched->longName;
    const std::string text = matched->takesValue ? optarg : "";
    if (matched->repeatable) {
      result.lists[name].push_back(text);
    } else if (!result.options.emplace(name, text).second) {
      error = "option " + name + " given twice";
      return false;
    }
  }
  // After "--" the rest are positional, in order.
  for (int i = optind; i < argc; ++i) result.positional.push_back(argv[static_cast<size_t>(i)]);

  const size_t count = result.positional.size();
  if (!result.help && (count < command.positionalCount ||
                       (count > command.positionalCount && !command.morePositionals))) {
    error = count < command.positionalCount ? "missing argument"
                                            : "unexpected argument " + result.positional.back();
    return false;
  }
  parsed = std::move(result);
  return true;
}

int UsageError(CommandOutput& output, const std::string& command, const std::string& message) {
  output.err << "vantis-pack " << command << ": " << message << "\n"
             << "Try \"vantis-pack " << command << " --help\".\n";
  return kExitUsage;
}

int Finish(CommandOutput& output, bool succeeded, const std::string& error) {
  if (succeeded) return kExitSuccess;
  output.err << "vantis-pack: error: " << error << "\n";
  return kExitFailure;
}

// The options build and diff share. False after a usage error, with `exitCode` set.
bool TakePackOptions(ParsedArguments& parsed, const std::string& command,
                     const char* outputName, PackOptions& options, CommandOutput& output,
                     int& exitCode) {
  if (parsed.options.count("--output") == 0) {
    exitCode = UsageError(output, command, std::string("missing -o ") + outputName);
    return false;
  }
  options.outputPath = fs::u8path(parsed.options["--output"]);
  if (parsed.options.count("--stub") != 0) options.stubPath = fs::u8path(parsed.options["--stub"]);
  std::string error;
  if (parsed.options.count("--key") != 0 &&
      !ParseKeyHex(parsed.options["--key"], options.key, error)) {
    exitCode = UsageError(output, command, error);
    return false;
  }
  if (parsed.options.count("--notes-encoding") != 0 &&
      !ParseNotesEncoding(parsed.options["--notes-encoding"], options.notesEncoding)) {
    exitCode = UsageError(output, command,
                          "--notes-encoding takes utf-8, cp936 or auto, not \"" +
                              parsed.options["--notes-encoding"] + "\"");
    return false;
  }
  options.excludePatterns = parsed.lists["--exclude"];
  options.dryRun = parsed.options.count("--dry-run") != 0;
  options.plain = parsed.options.count("--plain") != 0;
  return true;
}

// With --json the command's report for people goes nowhere and this document to `out`,
// on failure too.
bool WantsJson(const ParsedArguments& parsed) { return parsed.options.count("--json") != 0; }

int FinishPack(const ParsedArguments& parsed, CommandOutput& output, bool built,
               const std::string& error, const PackReport& result) {
  if (WantsJson(parsed)) output.out << FormatPackJson(result, built ? std::string() : error);
  return Finish(output, built, error);
}

int RunBuild(ParsedArguments& parsed, CommandOutput& output, CommandOutput& report) {
  BuildOptions options;
  options.sourceFolder = fs::u8path(parsed.positional[0]);
  int exitCode = 0;
  if (!TakePackOptions(parsed, "build", "OUTPUT.exe", options, output, exitCode)) {
    return exitCode;
  }
  PackReport result;
  result.outputPath = options.outputPath.u8string();
  result.dryRun = options.dryRun;
  std::string error;
  const bool built = BuildInstaller(options, report, error, &result);
  return FinishPack(parsed, output, built, error, result);
}

int RunDiff(ParsedArguments& parsed, CommandOutput& output, CommandOutput& report) {
  DiffOptions options;
  options.oldFolder = fs::u8path(parsed.positional[0]);
  options.newFolder = fs::u8path(parsed.positional[1]);
  int exitCode = 0;
  if (!TakePackOptions(parsed, "diff", "PATCH.exe", options, output, exitCode)) {
    return exitCode;
  }
  if (parsed.options.count("--notes") != 0) {
    options.notesPath = fs::u8path(parsed.options["--notes"]);
  }
  if (parsed.options.count("--rule") != 0) {
    const std::string& rule = parsed.options["--rule"];
    if (rule != "=" && rule != "<=") {
      return UsageError(output, "diff", "--rule takes = or <=, not \"" + rule + "\"");
    }
    options.rule = rule == "=" ? RuleExact : RuleAtMost;
  }
  PackReport result;
  result.command = "diff";
  result.outputPath = options.outputPath.u8string();
  result.dryRun = options.dryRun;
  std::string error;
  const bool built = DiffInstaller(options, report, error, &result);
  return FinishPack(parsed, output, built, error, result);
}

// --game DIR, or an empty path without it.
fs::path GameFolderOption(ParsedArguments& parsed) {
  const auto game = parsed.options.find("--game");
  return game == parsed.options.end() ? fs::path() : fs::u8path(game->second);
}

int RunExtract(ParsedArguments& parsed, CommandOutput& output, CommandOutput& report) {
  if (parsed.options.count("--directory") == 0) {
    return UsageError(output, "extract", "missing -C DIR");
  }
  std::string error;
  const std::vector<std::string> names(parsed.positional.begin() + 1, parsed.positional.end());
  ExtractReport result;
  result.installerPath = parsed.positional[0];
  result.folderPath = parsed.options["--directory"];
  const bool extracted =
      ExtractInstaller(fs::u8path(result.installerPath), fs::u8path(result.folderPath), report,
                       error, names, GameFolderOption(parsed), &result.files);
  if (WantsJson(parsed)) {
    output.out << FormatExtractJson(result, extracted ? std::string() : error);
  }
  return Finish(output, extracted, error);
}

}  // namespace

int RunPackTool(const std::vector<std::string>& arguments, CommandOutput& output) {
  if (arguments.empty()) {
    output.err << kOverview;
    return kExitUsage;
  }
  const std::string& name = arguments[0];
  if (name == "-h" || name == "--help" || name == "help") {
    const auto topic = arguments.size() > 1 ? Commands().find(arguments[1]) : Commands().end();
    output.out << (topic != Commands().end() ? topic->second.help : kOverview);
    return kExitSuccess;
  }
  if (name == "--version" || name == "-V") {
    output.out << "vantis-pack " << kPackToolVersion << "\n";
    return kExitSuccess;
  }
  const auto command = Commands().find(name);
  if (command == Commands().end()) {
    output.err << "vantis-pack: unknown command \"" << name << "\"\n\n" << kOverview;
    return kExitUsage;
  }

  ParsedArguments parsed;
  std::string error;
  if (!ParseArguments(command->second, arguments, parsed, error)) {
    return UsageError(output, name, error);
  }
  if (parsed.help) {
    output.out << command->second.help;
    return kExitSuccess;
  }
  // --quiet: the command's report, notices, warnings and progress go nowhere; only the
  // error, if any, is written, and with --json the document, which is the result itself.
  // list and verify write their document as their report; build, diff and extract have it
  // written here, from what they return.
  const bool quiet = parsed.options.count("--quiet") != 0;
  const bool json = WantsJson(parsed);
  const bool reportIsJson = json && (name == "list" || name == "verify");
  std::ostream discard(nullptr);
  CommandOutput report{reportIsJson ? output.out : (quiet || json ? discard : output.out),
                       quiet ? discard : output.err, quiet ? nullptr : output.progressTerminal};
  if (name == "build") return RunBuild(parsed, output, report);
  if (name == "diff") return RunDiff(parsed, output, report);
  if (name == "extract") return RunExtract(parsed, output, report);

  const fs::path installer = fs::u8path(parsed.positional[0]);
  const ReportFormat format = json ? ReportFormat::kJson : ReportFormat::kText;
  bool succeeded = false;
  if (name == "list") {
    succeeded = ListInstaller(installer, report, error, format);
  } else {
    succeeded = VerifyInstaller(installer, report, error, format, GameFolderOption(parsed));
  }
  return Finish(output, succeeded, error);
}
