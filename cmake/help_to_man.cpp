// Makes a program's man page from its own --help text at build time, so the
// page says what the program says:
//   help_to_man PROGRAM SUMMARY SEE_ALSO OUTPUT [--commands]
// The first line ("usage: ...") is the SYNOPSIS, the paragraphs up to the
// first heading the DESCRIPTION; a line "Heading:" of at most three words
// starts a section, and "  TERM  text" lines (text continued on lines indented
// deeper) are its entries. With --commands, each entry of the "Commands"
// section gets a subsection made from PROGRAM NAME --help.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

using Lines = std::vector<std::string>;

// The output of a command line, or empty when it did not run.
static std::string RunCommand(const std::string& command)
{
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return output;
    char piece[4096];
    size_t got;
    while ((got = fread(piece, 1, sizeof(piece), pipe)) > 0)
        output.append(piece, got);
    return pclose(pipe) == 0 ? output : std::string();
}

static std::string Quoted(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

static std::string RunProgram(const std::string& program, const std::string& arguments)
{
    return RunCommand(Quoted(program) + " " + arguments + " 2>/dev/null");
}

static Lines SplitLines(const std::string& text)
{
    Lines lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
            line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

// Text for roff: backslashes escaped, the dashes of a word that begins with
// one (an option) as minus signs so that it can be copied, and no line that
// begins with a control character.
static std::string Roff(const std::string& text)
{
    std::string out;
    int option = 0;   // the word in hand began with a dash
    for (size_t i = 0; i < text.size(); i++) {
        char c = text[i];
        if (i == 0 || text[i - 1] == ' ' || text[i - 1] == '[' || text[i - 1] == '(')
            option = c == '-';
        if (c == '\\')
            out += "\\e";
        else if (c == '-' && option)
            out += "\\-";
        else
            out += c;
    }
    if (!out.empty() && (out[0] == '.' || out[0] == '\''))
        out = "\\&" + out;
    return out;
}

static size_t Indent(const std::string& line)
{
    return line.find_first_not_of(' ');
}

// "Exit status:" and the like: a short title at the left margin.
static int IsHeading(const std::string& line)
{
    if (line.empty() || line[0] == ' ' || line.back() != ':')
        return 0;
    int words = 1;
    for (size_t i = 0; i + 1 < line.size(); i++) {
        if (line[i] == ' ')
            words++;
        else if (!isalpha(static_cast<unsigned char>(line[i])))
            return 0;
    }
    return words <= 3;
}

static std::string Upper(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    return text;
}

// The synopsis line without its "usage: ", the program's name in bold.
static std::string SynopsisLine(const std::string& line, const std::string& name)
{
    std::string text = line;
    size_t colon = text.find(": ");
    if (colon != std::string::npos && colon < 6)
        text = text.substr(colon + 2);
    if (text.compare(0, name.size(), name) == 0)
        return "\\fB" + Roff(name) + "\\fR" + Roff(text.substr(name.size()));
    return Roff(text);
}

struct Entry {
    std::string term;
    std::string text;
};

// Writes the body of a help text from line `from` to the next heading (or
// the end): paragraphs and entries. Returns the index of the heading. The
// terms of the entries are collected in terms.
static size_t WriteBody(FILE* out, const Lines& lines, size_t from, Lines* terms)
{
    size_t i = from;
    int paragraph = 0;   // a paragraph is open
    while (i < lines.size() && !IsHeading(lines[i])) {
        const std::string& line = lines[i];
        if (line.empty()) {
            paragraph = 0;
            i++;
            continue;
        }
        if (Indent(line) == 2) {
            Entry entry;
            size_t gap = line.find("  ", 2);
            entry.term = line.substr(2, gap == std::string::npos ? std::string::npos : gap - 2);
            if (gap != std::string::npos)
                entry.text = line.substr(line.find_first_not_of(' ', gap));
            for (i++; i < lines.size() && !lines[i].empty() && Indent(lines[i]) > 2; i++)
                entry.text += (entry.text.empty() ? "" : " ") + lines[i].substr(Indent(lines[i]));
            fprintf(out, ".TP\n\\fB%s\\fR\n%s\n", Roff(entry.term).c_str(), Roff(entry.text).c_str());
            if (terms)
                terms->push_back(entry.term);
            paragraph = 0;
            continue;
        }
        if (!paragraph)
            fputs(".PP\n", out);
        paragraph = 1;
        fprintf(out, "%s\n", Roff(line.substr(Indent(line))).c_str());
        i++;
    }
    return i;
}

// One command's help as a subsection: its usage line, then its body.
static void WriteCommand(FILE* out, const std::string& program, const std::string& name, const std::string& command)
{
    Lines lines = SplitLines(RunProgram(program, Quoted(command) + " --help"));
    if (lines.empty()) {
        fprintf(stderr, "help_to_man: %s %s --help said nothing\n", program.c_str(), command.c_str());
        return;
    }
    fprintf(out, ".SS \"%s %s\"\n.PP\n%s\n", Roff(name).c_str(), Roff(command).c_str(),
            SynopsisLine(lines[0], name).c_str());
    WriteBody(out, lines, 1, nullptr);
}

int main(int argc, char** argv)
{
    if (argc < 5) {
        fputs("usage: help_to_man PROGRAM SUMMARY SEE_ALSO OUTPUT [--commands]\n", stderr);
        return 2;
    }
    std::string program = argv[1], summary = argv[2], seeAlso = argv[3];
    int commands = argc > 5 && strcmp(argv[5], "--commands") == 0;
    std::string name = program.substr(program.find_last_of('/') + 1);
    Lines help = SplitLines(RunProgram(program, "--help"));
    Lines version = SplitLines(RunProgram(program, "--version"));
    if (help.empty() || version.empty()) {
        fprintf(stderr, "help_to_man: %s gave no --help or --version\n", program.c_str());
        return 1;
    }
    FILE* out = fopen(argv[4], "w");
    if (!out) {
        perror(argv[4]);
        return 1;
    }
    fprintf(out, ".TH %s 1 \"\" \"%s\" \"User Commands\"\n", Roff(Upper(name)).c_str(), Roff(version[0]).c_str());
    fprintf(out, ".SH NAME\n%s \\- %s\n", Roff(name).c_str(), Roff(summary).c_str());

    fprintf(out, ".SH SYNOPSIS\n%s\n", SynopsisLine(help[0], name).c_str());
    fputs(".SH DESCRIPTION\n", out);
    size_t i = WriteBody(out, help, 1, nullptr);
    while (i < help.size()) {
        std::string title = help[i].substr(0, help[i].size() - 1);
        const char* quote = title.find(' ') == std::string::npos ? "" : "\"";
        fprintf(out, ".SH %s%s%s\n", quote, Roff(Upper(title)).c_str(), quote);
        Lines terms;
        i = WriteBody(out, help, i + 1, &terms);
        if (commands && title == "Commands") {
            for (const std::string& term : terms)
                WriteCommand(out, program, name, term.substr(0, term.find(' ')));
        }
    }
    fprintf(out, ".SH \"SEE ALSO\"\n");
    for (const char* p = seeAlso.c_str(); *p;) {
        size_t length = strcspn(p, ",");
        fprintf(out, "%s\\fB%s\\fR(1)", p == seeAlso.c_str() ? "" : ",\n", Roff(std::string(p, length)).c_str());
        p += length + (p[length] == ',');
    }
    fputs("\n", out);
    return fclose(out) == 0 ? 0 : 1;
}
