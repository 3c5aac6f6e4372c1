#include "tests/engine/dataset/catalogue/RaiseSiteScanner.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

namespace zdbtest {
namespace {

struct Constants {
  std::map<std::string, int32_t> Integers;
  std::map<std::string, std::string> Texts;
};

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The source with its comments blanked out (line breaks kept), string and character
// literals left as they are.
std::string WithoutComments(const std::string& source) {
  std::string out = source;
  for (size_t i = 0; i < out.size(); ++i) {
    const char c = out[i];
    if (c == '"' || c == '\'') {
      for (++i; i < out.size() && out[i] != c; ++i)
        if (out[i] == '\\') ++i;
    } else if (c == '/' && i + 1 < out.size() && out[i + 1] == '/') {
      for (; i < out.size() && out[i] != '\n'; ++i) out[i] = ' ';
    } else if (c == '/' && i + 1 < out.size() && out[i + 1] == '*') {
      for (; i + 1 < out.size() && !(out[i] == '*' && out[i + 1] == '/'); ++i)
        if (out[i] != '\n') out[i] = ' ';
      if (i + 1 < out.size()) out[i] = out[i + 1] = ' ';
    }
  }
  return out;
}

std::string Trim(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// The text of one or more adjacent string literals, escapes decoded; nullopt when the
// expression is anything else.
std::optional<std::string> Literals(const std::string& expression) {
  std::string text;
  size_t i = 0;
  bool any = false;
  const std::string e = Trim(expression);
  while (i < e.size()) {
    if (std::isspace(static_cast<unsigned char>(e[i]))) {
      ++i;
      continue;
    }
    if (e[i] != '"') return std::nullopt;
    any = true;
    for (++i; i < e.size() && e[i] != '"'; ++i) {
      if (e[i] != '\\') {
        text += e[i];
        continue;
      }
      ++i;
      if (i >= e.size()) return std::nullopt;
      switch (e[i]) {
        case 'n': text += '\n'; break;
        case 't': text += '\t'; break;
        default: text += e[i]; break;
      }
    }
    if (i >= e.size()) return std::nullopt;
    ++i;
  }
  if (!any) return std::nullopt;
  return text;
}

const std::regex IntegerConstant(
    R"(constexpr\s+(?:static\s+)?(?:std::)?(?:u?int(?:8|16|32|64)_t|int|long)\s+(\w+)\s*(?:=\s*|\{\s*)(-?\d+)\s*\}?\s*;)");
const std::regex TextConstant(
    R"(constexpr\s+(?:static\s+)?(?:const\s+char\s*\*\s*(?:const\s+)?(\w+)|char\s+(\w+)\s*\[\s*\]|std::string_view\s+(\w+))\s*=\s*((?:"(?:[^"\\]|\\.)*"\s*)+);)");
const std::regex ProjectInclude(R"re(#include\s+"(engine/[^"]+)")re");

void CollectConstants(const std::string& source, Constants& constants, bool override) {
  for (std::sregex_iterator it(source.begin(), source.end(), IntegerConstant), end; it != end; ++it) {
    const std::string name = (*it)[1];
    if (override || !constants.Integers.count(name)) constants.Integers[name] = std::stoi((*it)[2]);
  }
  for (std::sregex_iterator it(source.begin(), source.end(), TextConstant), end; it != end; ++it) {
    const std::string name = (*it)[1].matched ? (*it)[1] : (*it)[2].matched ? (*it)[2] : (*it)[3];
    const std::optional<std::string> text = Literals((*it)[4]);
    if (text && (override || !constants.Texts.count(name))) constants.Texts[name] = *text;
  }
}

// The constants of the included engine headers, transitively; the file's own win.
void CollectIncludes(const std::string& root, const std::string& source, Constants& constants,
                     std::set<std::string>& visited) {
  for (std::sregex_iterator it(source.begin(), source.end(), ProjectInclude), end; it != end; ++it) {
    const std::string header = (*it)[1];
    if (!visited.insert(header).second) continue;
    const std::string text = WithoutComments(ReadFile(std::filesystem::path(root) / header));
    CollectConstants(text, constants, false);
    CollectIncludes(root, text, constants, visited);
  }
}

// The top-level arguments of the call whose "(" is at open; end gets the position after ")".
std::vector<std::string> Arguments(const std::string& source, size_t open, size_t& end) {
  std::vector<std::string> arguments;
  std::string current;
  int depth = 0;
  for (size_t i = open; i < source.size(); ++i) {
    const char c = source[i];
    if (c == '"' || c == '\'') {
      const size_t start = i;
      for (++i; i < source.size() && source[i] != c; ++i)
        if (source[i] == '\\') ++i;
      current += source.substr(start, i - start + 1);
      continue;
    }
    if (c == '(' || c == '{' || c == '[') {
      if (depth++ == 0) continue;
    } else if (c == ')' || c == '}' || c == ']') {
      if (--depth == 0) {
        arguments.push_back(Trim(current));
        end = i + 1;
        return arguments;
      }
    } else if (c == ',' && depth == 1) {
      arguments.push_back(Trim(current));
      current.clear();
      continue;
    }
    current += c;
  }
  end = source.size();
  return arguments;
}

int LineOf(const std::string& source, size_t position) {
  return 1 + static_cast<int>(std::count(source.begin(), source.begin() + static_cast<std::ptrdiff_t>(position), '\n'));
}

const std::regex Identifier(R"(^(?:[A-Za-z_]\w*\s*(?:::|\.|->)\s*)*([A-Za-z_]\w*)$)");
const std::regex IntegerLiteral(R"(^-?\d+$)");

// The codes an expression names: a literal, a constant, or each branch of a conditional.
std::vector<int32_t> CodesOf(const std::string& expression, const Constants& constants) {
  const std::string e = Trim(expression);
  if (std::regex_match(e, IntegerLiteral)) return {std::stoi(e)};
  const size_t question = e.find('?');
  if (question != std::string::npos) {
    size_t colon = e.find(':', question);
    while (colon != std::string::npos && colon + 1 < e.size() && e[colon + 1] == ':') colon = e.find(':', colon + 2);
    if (colon == std::string::npos) return {};
    std::vector<int32_t> codes = CodesOf(e.substr(question + 1, colon - question - 1), constants);
    const std::vector<int32_t> other = CodesOf(e.substr(colon + 1), constants);
    if (codes.empty() || other.empty()) return {};
    codes.insert(codes.end(), other.begin(), other.end());
    return codes;
  }
  std::smatch match;
  if (std::regex_match(e, match, Identifier)) {
    const auto found = constants.Integers.find(match[1]);
    if (found != constants.Integers.end()) return {found->second};
  }
  return {};
}

// The name of the function whose integral parameter `parameter` holds the code at
// position, and that parameter's place in its list; empty when the code is no such
// parameter of the function around the site.
std::string ForwardingFunction(const std::string& source, size_t position, const std::string& parameter,
                               size_t& index) {
  static const std::regex header(R"((\w+)\s*\(([^(){};]*)\)\s*(?:const\s*)?(?:override\s*)?(?:noexcept\s*)?\{)");
  // The helpers that forward a code are short: their header lies close before the site.
  constexpr size_t Window = 2000;
  std::string function;
  const size_t from = position > Window ? position - Window : 0;
  const std::string before = source.substr(from, position - from);
  for (std::sregex_iterator it(before.begin(), before.end(), header), end; it != end; ++it) {
    function.clear();
    const std::string name = (*it)[1];
    if (name == "if" || name == "for" || name == "while" || name == "switch" || name == "catch") continue;
    std::vector<std::string> parameters;
    std::stringstream list((*it)[2]);
    for (std::string item; std::getline(list, item, ',');) parameters.push_back(Trim(item));
    for (size_t i = 0; i < parameters.size(); ++i) {
      static const std::regex integral(R"(^(?:const\s+)?(?:std::)?(?:u?int(?:8|16|32|64)_t|int)\s+(\w+)$)");
      std::smatch match;
      if (std::regex_match(parameters[i], match, integral) && match[1] == parameter) {
        function = name;
        index = i;
      }
    }
  }
  return function;
}

}  // namespace

std::vector<RaiseSite> ScanSource(const std::string& root, const std::string& file, const std::string& rawSource) {
  const std::string source = WithoutComments(rawSource);
  Constants constants;
  CollectConstants(source, constants, true);
  std::set<std::string> visited{file};
  CollectIncludes(root, source, constants, visited);

  std::vector<RaiseSite> sites;
  static const std::regex raise(R"(\bRaiseError\s*\()");
  for (std::sregex_iterator it(source.begin(), source.end(), raise), end; it != end; ++it) {
    const size_t start = static_cast<size_t>(it->position());
    // Declarations and the definitions of RaiseError itself name a type first.
    const std::string before = source.substr(start >= 8 ? start - 8 : 0, start >= 8 ? 8 : start);
    if (before.find("void") != std::string::npos) continue;
    size_t close = 0;
    const std::vector<std::string> arguments = Arguments(source, start + it->length() - 1, close);
    if (arguments.size() < 2) continue;

    RaiseSite site;
    site.File = file;
    site.Line = LineOf(source, start);
    std::smatch match;
    if (const std::optional<std::string> literal = Literals(arguments[1])) {
      site.Text = literal;
    } else if (arguments[1].rfind("MessageForCode", 0) == 0) {
      site.TextFromCatalogue = true;
    } else if (std::regex_match(arguments[1], match, Identifier) && constants.Texts.count(match[1])) {
      site.Text = constants.Texts.at(match[1]);
    }

    std::vector<int32_t> codes = CodesOf(arguments[0], constants);
    if (codes.empty() && std::regex_match(arguments[0], match, Identifier)) {
      // A helper that raises with the code its callers give.
      size_t index = 0;
      const std::string function = ForwardingFunction(source, start, match[1], index);
      if (!function.empty()) {
        const std::regex call("\\b" + function + "\\s*\\(");
        for (std::sregex_iterator c(source.begin(), source.end(), call), cend; c != cend; ++c) {
          size_t after = 0;
          const size_t open = static_cast<size_t>(c->position() + c->length() - 1);
          const std::vector<std::string> callArguments = Arguments(source, open, after);
          if (index >= callArguments.size()) continue;
          const std::vector<int32_t> given = CodesOf(callArguments[index], constants);
          codes.insert(codes.end(), given.begin(), given.end());
        }
      }
    }
    if (codes.empty()) {
      sites.push_back(site);
      continue;
    }
    std::sort(codes.begin(), codes.end());
    codes.erase(std::unique(codes.begin(), codes.end()), codes.end());
    for (const int32_t code : codes) {
      RaiseSite coded = site;
      coded.Code = code;
      sites.push_back(coded);
    }
  }
  return sites;
}

std::vector<RaiseSite> ScanFolder(const std::string& root, const std::string& folder) {
  std::vector<RaiseSite> sites;
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(std::filesystem::path(root) / folder)) {
    const std::string extension = entry.path().extension().string();
    if (entry.is_regular_file() && (extension == ".cpp" || extension == ".h")) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  for (const std::filesystem::path& path : files) {
    const std::string relative = std::filesystem::relative(path, root).generic_string();
    const std::vector<RaiseSite> found = ScanSource(root, relative, ReadFile(path));
    sites.insert(sites.end(), found.begin(), found.end());
  }
  return sites;
}

}  // namespace zdbtest
