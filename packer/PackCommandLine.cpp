#include "packer/PackCommandLine.h"

#include <filesystem>
#include <map>

#include "packer/BuildInstaller.h"
#include "packer/InspectInstaller.h"

namespace fs = std::filesystem;

namespace {

constexpr char kOverview[] =
    "usage: vantis-pack COMMAND [ARGUMENTS]\n"
    "\n"
    "Builds and inspects Vantis patch installers: the installer program with an encrypted\n"
    "package of the patch's files appended.\n"
    "\n"
    "commands:\n"
    "  build SOURCE_DIR -o OUTPUT.exe [--stub PATH] [--key HEX] [--notes-encoding ENC]\n"
    "                          pack every file below SOURCE_DIR into an installer\n"
    "  list INSTALLER          show the manifest and every entry\n"
    "  verify INSTALLER        read and decrypt every entry as the installer would\n"
    "  extract INSTALLER -C DIR\n"
    "                          write every entry below DIR\n"
    "\n"
    "Run \"vantis-pack COMMAND --help\" for a command's details. Exit status: 0 success,\n"
    "1 failure, 2 wrong command line.\n";

constexpr char kBuildHelp[] =
    "usage: vantis-pack build SOURCE_DIR -o OUTPUT.exe [--stub PATH] [--key HEX]\n"
    "                         [--notes-encoding utf-8|cp936|auto]\n"
    "\n"
    "Packs every file below SOURCE_DIR into OUTPUT.exe, named by its path relative to\n"
    "SOURCE_DIR. SOURCE_DIR/config.txt is the manifest and must be there, for example:\n"
    "    1.0.5 <= 1.0.4\n"
    "    notes shown to the user...\n"
    "(the version after the patch, the rule \"=\" or \"<=\", the version the rule compares\n"
    "with, then the notes). Symbolic links are followed when they stay inside SOURCE_DIR;\n"
    "empty folders are left out, as the installer creates folders only for files.\n"
    "OUTPUT.exe appears only when it is complete; on any error nothing is left behind.\n"
    "The notes' LF line ends become CR LF, the only ones Windows breaks lines at, and a\n"
    "warning says when the notes need more than the dialog's 3 lines or are too wide.\n"
    "OUTPUT.exe's length is a multiple of 8, ready for signing; the summary shows its\n"
    "SHA-256. Sign OUTPUT.exe afterwards; a signed --stub is refused.\n"
    "\n"
    "options:\n"
    "  -o, --output PATH       the installer to write (replaced if it exists)\n"
    "  --stub PATH             the installer program to append the package to; by default\n"
    "                          vantis-installer.exe beside vantis-pack, then the one the\n"
    "                          Windows build of this source tree made\n"
    "  --key HEX               the package key, 1 to 74 bytes in hexadecimal; the same tree\n"
    "                          and key give the same bytes. Default: 16 random bytes\n"
    "  --notes-encoding ENC    how config.txt is written: utf-8 (converted to code page\n"
    "                          936, which the installer shows), cp936 (kept as it is), or\n"
    "                          auto (the default: utf-8 when it is valid UTF-8 with\n"
    "                          non-ASCII text, else cp936)\n";

constexpr char kListHelp[] =
    "usage: vantis-pack list INSTALLER\n"
    "\n"
    "Shows whether INSTALLER is signed (the size of its certificate table; the signature\n"
    "itself is for the signing tools to check), the manifest's versions, rule and notes,\n"
    "and every entry with its size, aux fields and data offset, in the order the\n"
    "installer installs them.\n";

constexpr char kVerifyHelp[] =
    "usage: vantis-pack verify INSTALLER\n"
    "\n"
    "Opens INSTALLER as the installer does, checks every name with its rule, checks\n"
    "config.txt, and reads and decrypts every entry. Exits with 0 only when the installer\n"
    "would install every entry; otherwise names the first entry that fails, and why.\n"
    "Also says whether INSTALLER is signed.\n";

constexpr char kExtractHelp[] =
    "usage: vantis-pack extract INSTALLER -C DIR\n"
    "\n"
    "Writes every entry of INSTALLER below DIR (created if needed), replacing files of\n"
    "the same name. config.txt is written too, as stored: in code page 936. Names go\n"
    "through the installer's rule before anything is written.\n"
    "\n"
    "options:\n"
    "  -C, --directory DIR     the folder to write into\n";

struct Command {
  const char* help;
  size_t positionalCount;
  std::map<std::string, std::string> optionNames;  // every spelling to its canonical name
};

const std::map<std::string, Command>& Commands() {
  static const std::map<std::string, Command> commands = {
      {"build",
       {kBuildHelp, 1,
        {{"-o", "--output"}, {"--output", "--output"}, {"--stub", "--stub"}, {"--key", "--key"},
         {"--notes-encoding", "--notes-encoding"}}}},
      {"list", {kListHelp, 1, {}}},
      {"verify", {kVerifyHelp, 1, {}}},
      {"extract", {kExtractHelp, 1, {{"-C", "--directory"}, {"--directory", "--directory"}}}},
  };
  return commands;
}

struct ParsedArguments {
  std::vector<std::string> positional;
  std::map<std::string, std::string> options;
  bool help = false;
};

bool ParseArguments(const Command& command, const std::vector<std::string>& arguments,
                    ParsedArguments& parsed, std::string& error) {
  bool optionsEnded = false;
  for (size_t i = 1; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (optionsEnded || argument.empty() || argument[0] != '-' || argument == "-") {
      parsed.positional.push_back(argument);
      continue;
    }
    if (argument == "--") {
      optionsEnded = true;
      continue;
    }
    if (argument == "-h" || argument == "--help") {
      parsed.help = true;
      continue;
    }
    std::string name = argument;
    std::string value;
    bool hasValue = false;
    const size_t equals = argument.find('=');
    if (argument.compare(0, 2, "--") == 0 && equals != std::string::npos) {
      name = argument.substr(0, equals);
      value = argument.substr(equals + 1);
      hasValue = true;
    }
    const auto known = command.optionNames.find(name);
    if (known == command.optionNames.end()) {
      error = "unknown option " + name;
      return false;
    }
    if (!hasValue) {
      if (i + 1 == arguments.size()) {
        error = "option " + name + " needs a value";
        return false;
      }
      value = arguments[++i];
    }
    if (!parsed.options.emplace(known->second, value).second) {
      error = "option " + known->second + " given twice";
      return false;
    }
  }
  if (!parsed.help && parsed.positional.size() != command.positionalCount) {
    error = parsed.positional.empty() ? "missing argument"
                                      : "unexpected argument " + parsed.positional.back();
    return false;
  }
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

int RunBuild(ParsedArguments& parsed, CommandOutput& output) {
  BuildOptions options;
  options.sourceFolder = fs::u8path(parsed.positional[0]);
  if (parsed.options.count("--output") == 0) {
    return UsageError(output, "build", "missing -o OUTPUT.exe");
  }
  options.outputPath = fs::u8path(parsed.options["--output"]);
  if (parsed.options.count("--stub") != 0) options.stubPath = fs::u8path(parsed.options["--stub"]);
  std::string error;
  if (parsed.options.count("--key") != 0 &&
      !ParseKeyHex(parsed.options["--key"], options.key, error)) {
    return UsageError(output, "build", error);
  }
  if (parsed.options.count("--notes-encoding") != 0 &&
      !ParseNotesEncoding(parsed.options["--notes-encoding"], options.notesEncoding)) {
    return UsageError(output, "build",
                      "--notes-encoding takes utf-8, cp936 or auto, not \"" +
                          parsed.options["--notes-encoding"] + "\"");
  }
  const bool built = BuildInstaller(options, output, error);
  return Finish(output, built, error);
}

int RunExtract(ParsedArguments& parsed, CommandOutput& output) {
  if (parsed.options.count("--directory") == 0) {
    return UsageError(output, "extract", "missing -C DIR");
  }
  std::string error;
  const bool extracted = ExtractInstaller(fs::u8path(parsed.positional[0]),
                                          fs::u8path(parsed.options["--directory"]), output,
                                          error);
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
  if (name == "build") return RunBuild(parsed, output);
  if (name == "extract") return RunExtract(parsed, output);

  const fs::path installer = fs::u8path(parsed.positional[0]);
  bool succeeded = false;
  if (name == "list") {
    succeeded = ListInstaller(installer, output, error);
  } else {
    succeeded = VerifyInstaller(installer, output, error);
  }
  return Finish(output, succeeded, error);
}
