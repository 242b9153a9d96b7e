// Reading DIALOG, DIALOGEX, MENU and ACCELERATORS resources out of resource-script text.
#include "resource_script.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <strings.h>

namespace {

enum class TokenKind { Name, Number, String, Symbol, End };

struct Token {
  TokenKind kind = TokenKind::End;
  std::string text;  // names and strings (unquoted); the symbol character
  uint64_t number = 0;
  int line = 0;
};

struct Parser {
  std::vector<Token> tokens;
  size_t next = 0;
  int depth = 0;  // nesting of '-' and '(' in the value being read
  std::string error;
};

constexpr int kMaxNesting = 32;

struct NamedValue {
  const char* name;
  DWORD value;
};

// The style names a template may use.
const NamedValue kStyleNames[] = {
    {"WS_OVERLAPPED", WS_OVERLAPPED},   {"WS_POPUP", WS_POPUP},
    {"WS_CHILD", WS_CHILD},             {"WS_MINIMIZE", WS_MINIMIZE},
    {"WS_VISIBLE", WS_VISIBLE},         {"WS_DISABLED", WS_DISABLED},
    {"WS_CLIPSIBLINGS", WS_CLIPSIBLINGS}, {"WS_CLIPCHILDREN", WS_CLIPCHILDREN},
    {"WS_MAXIMIZE", WS_MAXIMIZE},       {"WS_CAPTION", WS_CAPTION},
    {"WS_BORDER", WS_BORDER},           {"WS_DLGFRAME", WS_DLGFRAME},
    {"WS_VSCROLL", WS_VSCROLL},         {"WS_HSCROLL", WS_HSCROLL},
    {"WS_SYSMENU", WS_SYSMENU},         {"WS_THICKFRAME", WS_THICKFRAME},
    {"WS_GROUP", WS_GROUP},             {"WS_TABSTOP", WS_TABSTOP},
    {"WS_MINIMIZEBOX", WS_MINIMIZEBOX}, {"WS_MAXIMIZEBOX", WS_MAXIMIZEBOX},
    {"WS_OVERLAPPEDWINDOW", WS_OVERLAPPEDWINDOW},
    {"WS_EX_TOOLWINDOW", WS_EX_TOOLWINDOW}, {"WS_EX_CLIENTEDGE", WS_EX_CLIENTEDGE},
    {"DS_SETFONT", DS_SETFONT},         {"DS_MODALFRAME", DS_MODALFRAME},
    {"DS_CENTER", DS_CENTER},           {"PBS_SMOOTH", 0x01},
    {"BS_PUSHBUTTON", BS_PUSHBUTTON},   {"BS_DEFPUSHBUTTON", BS_DEFPUSHBUTTON},
    {"BS_CHECKBOX", BS_CHECKBOX},       {"BS_AUTOCHECKBOX", BS_AUTOCHECKBOX},
    {"BS_RADIOBUTTON", BS_RADIOBUTTON}, {"BS_AUTORADIOBUTTON", BS_AUTORADIOBUTTON},
    {"BS_GROUPBOX", BS_GROUPBOX},
    {"ES_LEFT", ES_LEFT},               {"ES_AUTOHSCROLL", ES_AUTOHSCROLL},
    {"ES_READONLY", ES_READONLY},       {"ES_NUMBER", ES_NUMBER},
    {"SS_LEFT", SS_LEFT},               {"SS_NOTIFY", SS_NOTIFY},
};

bool Fail(Parser& parser, int line, const std::string& message) {
  if (parser.error.empty()) {
    parser.error = "line " + std::to_string(line) + ": " + message;
  }
  return false;
}

bool IsNameStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool IsNameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// Reads a quoted string starting at script[*at] == '"'; "" and \" stand for a quote.
bool ReadString(Parser& parser, const std::string& script, size_t* at, int* line, Token* token) {
  size_t i = *at + 1;
  std::string text;
  while (true) {
    if (i >= script.size() || script[i] == '\n') {
      return Fail(parser, *line, "unterminated string");
    }
    char c = script[i];
    if (c == '"') {
      if (i + 1 < script.size() && script[i + 1] == '"') {
        text += '"';
        i += 2;
        continue;
      }
      ++i;
      break;
    }
    if (c == '\\' && i + 1 < script.size()) {
      char escaped = script[i + 1];
      i += 2;
      switch (escaped) {
        case 'n': text += '\n'; break;
        case 't': text += '\t'; break;
        case 'a': text += '\b'; break;
        default: text += escaped; break;
      }
      continue;
    }
    text += c;
    ++i;
  }
  token->kind = TokenKind::String;
  token->text = text;
  *at = i;
  return true;
}

bool ReadNumber(Parser& parser, const std::string& script, size_t* at, int line, Token* token) {
  const char* start = script.c_str() + *at;
  char* end = nullptr;
  errno = 0;
  unsigned long long value = std::strtoull(start, &end, 0);
  if (errno != 0 || value > 0xFFFFFFFFull) {
    return Fail(parser, line, "number out of range");
  }
  size_t i = *at + static_cast<size_t>(end - start);
  while (i < script.size() && (script[i] == 'L' || script[i] == 'l' || script[i] == 'U' || script[i] == 'u')) {
    ++i;
  }
  if (i < script.size() && IsNameChar(script[i])) {
    return Fail(parser, line, "malformed number");
  }
  token->kind = TokenKind::Number;
  token->number = value;
  *at = i;
  return true;
}

// Splits the script into tokens, dropping comments and preprocessor lines.
bool Tokenize(Parser& parser, const std::string& script) {
  int line = 1;
  bool lineStart = true;
  size_t i = 0;
  while (i < script.size()) {
    char c = script[i];
    if (c == '\n') {
      ++line;
      lineStart = true;
      ++i;
      continue;
    }
    if (std::isspace(static_cast<unsigned char>(c))) {
      ++i;
      continue;
    }
    if (lineStart && c == '#') {
      while (i < script.size() && script[i] != '\n') ++i;
      continue;
    }
    lineStart = false;
    if (c == '/' && i + 1 < script.size() && script[i + 1] == '/') {
      while (i < script.size() && script[i] != '\n') ++i;
      continue;
    }
    if (c == '/' && i + 1 < script.size() && script[i + 1] == '*') {
      size_t close = script.find("*/", i + 2);
      if (close == std::string::npos) return Fail(parser, line, "unterminated comment");
      for (size_t k = i; k < close; ++k) line += script[k] == '\n' ? 1 : 0;
      i = close + 2;
      continue;
    }
    Token token;
    token.line = line;
    if (c == '"') {
      if (!ReadString(parser, script, &i, &line, &token)) return false;
    } else if (std::isdigit(static_cast<unsigned char>(c))) {
      if (!ReadNumber(parser, script, &i, line, &token)) return false;
    } else if (IsNameStart(c)) {
      size_t start = i;
      while (i < script.size() && IsNameChar(script[i])) ++i;
      token.kind = TokenKind::Name;
      token.text = script.substr(start, i - start);
    } else if (std::strchr(",|-+(){}", c) != nullptr) {
      token.kind = TokenKind::Symbol;
      token.text = std::string(1, c);
      ++i;
    } else {
      return Fail(parser, line, std::string("unexpected character '") + c + "'");
    }
    parser.tokens.push_back(token);
  }
  Token end;
  end.line = line;
  parser.tokens.push_back(end);
  return true;
}

const Token& Peek(const Parser& parser) { return parser.tokens[parser.next]; }

const Token& Take(Parser& parser) {
  const Token& token = parser.tokens[parser.next];
  if (token.kind != TokenKind::End) ++parser.next;
  return token;
}

bool IsSymbol(const Token& token, char symbol) {
  return token.kind == TokenKind::Symbol && token.text[0] == symbol;
}

bool IsKeyword(const Token& token, const char* keyword) {
  return token.kind == TokenKind::Name && strcasecmp(token.text.c_str(), keyword) == 0;
}

std::string Describe(const Token& token) {
  switch (token.kind) {
    case TokenKind::End: return "end of text";
    case TokenKind::Number: return "number " + std::to_string(token.number);
    case TokenKind::String: return "string \"" + token.text + "\"";
    default: return "'" + token.text + "'";
  }
}

bool ExpectComma(Parser& parser) {
  const Token& token = Take(parser);
  if (!IsSymbol(token, ',')) return Fail(parser, token.line, "expected ',' but found " + Describe(token));
  return true;
}

bool ReadValue(Parser& parser, int64_t* value);

// atom := number | NAME | '(' expression ')' ; with an optional leading '-'
bool ReadNestedAtom(Parser& parser, int64_t* value);

bool ReadAtom(Parser& parser, int64_t* value) {
  if (parser.depth >= kMaxNesting) return Fail(parser, Peek(parser).line, "value nested too deeply");
  ++parser.depth;
  bool ok = ReadNestedAtom(parser, value);
  --parser.depth;
  return ok;
}

bool ReadNestedAtom(Parser& parser, int64_t* value) {
  const Token& token = Take(parser);
  if (IsSymbol(token, '-')) {
    int64_t inner = 0;
    if (!ReadAtom(parser, &inner)) return false;
    *value = -inner;
    return true;
  }
  if (token.kind == TokenKind::Number) {
    *value = static_cast<int64_t>(token.number);
    return true;
  }
  if (token.kind == TokenKind::Name) {
    for (const NamedValue& named : kStyleNames) {
      if (token.text == named.name) {
        *value = named.value;
        return true;
      }
    }
    return Fail(parser, token.line, "unknown name '" + token.text + "'");
  }
  if (IsSymbol(token, '(')) {
    if (!ReadValue(parser, value)) return false;
    const Token& close = Take(parser);
    if (!IsSymbol(close, ')')) return Fail(parser, close.line, "expected ')' but found " + Describe(close));
    return true;
  }
  return Fail(parser, token.line, "expected a value but found " + Describe(token));
}

// expression := ['NOT'] atom { ('|' | '+') ['NOT'] atom }, starting from `*value`;
// NOT clears the bits of its atom, as the resource compiler does.
bool ReadExpression(Parser& parser, int64_t* value) {
  char op = '|';
  while (true) {
    bool clear = false;
    if (IsKeyword(Peek(parser), "NOT")) {
      Take(parser);
      clear = true;
    }
    int64_t atom = 0;
    if (!ReadAtom(parser, &atom)) return false;
    if (clear) {
      *value &= ~atom;
    } else if (op == '+') {
      *value += atom;
    } else {
      *value |= atom;
    }
    if (IsSymbol(Peek(parser), '|') || IsSymbol(Peek(parser), '+')) {
      op = Take(parser).text[0];
      continue;
    }
    return true;
  }
}

bool ReadValue(Parser& parser, int64_t* value) {
  *value = 0;
  return ReadExpression(parser, value);
}

bool ReadInt(Parser& parser, int minimum, int maximum, const char* what, int* result) {
  int line = Peek(parser).line;
  int64_t value = 0;
  if (!ReadValue(parser, &value)) return false;
  if (value < minimum || value > maximum) {
    return Fail(parser, line, std::string(what) + " " + std::to_string(value) + " is out of range");
  }
  *result = static_cast<int>(value);
  return true;
}

bool ReadStyle(Parser& parser, DWORD initial, DWORD* style) {
  int64_t value = initial;
  if (!ReadExpression(parser, &value)) return false;
  *style = static_cast<DWORD>(value);
  return true;
}

bool ReadStringToken(Parser& parser, const char* what, std::string* text) {
  const Token& token = Take(parser);
  if (token.kind != TokenKind::String) {
    return Fail(parser, token.line, std::string("expected ") + what + " in quotes but found " + Describe(token));
  }
  *text = token.text;
  return true;
}

bool ReadRectangle(Parser& parser, int* x, int* y, int* width, int* height) {
  return ReadInt(parser, -32768, 32767, "x", x) && ExpectComma(parser) &&
         ReadInt(parser, -32768, 32767, "y", y) && ExpectComma(parser) &&
         ReadInt(parser, 0, 32767, "width", width) && ExpectComma(parser) &&
         ReadInt(parser, 0, 32767, "height", height);
}

// CONTROL "text", id, "class", style, x, y, width, height [, exstyle [, helpid]]
bool ReadControl(Parser& parser, DialogItemTemplate* item) {
  if (!ReadStringToken(parser, "the control text", &item->text) || !ExpectComma(parser)) return false;
  int64_t id = 0;
  int idLine = Peek(parser).line;
  if (!ReadValue(parser, &id)) return false;
  if (id < -32768 || id > 0xFFFF) return Fail(parser, idLine, "control id " + std::to_string(id) + " is out of range");
  item->id = id == 0xFFFF ? -1 : static_cast<int>(id);
  if (!ExpectComma(parser)) return false;
  const Token& classToken = Take(parser);
  if (classToken.kind != TokenKind::String && classToken.kind != TokenKind::Name) {
    return Fail(parser, classToken.line, "expected the control class but found " + Describe(classToken));
  }
  item->className = classToken.text;
  if (!ExpectComma(parser) || !ReadStyle(parser, WS_CHILD | WS_VISIBLE, &item->style) || !ExpectComma(parser) ||
      !ReadRectangle(parser, &item->x, &item->y, &item->width, &item->height)) {
    return false;
  }
  if (IsSymbol(Peek(parser), ',')) {
    Take(parser);
    if (!ReadStyle(parser, 0, &item->exStyle)) return false;
    if (IsSymbol(Peek(parser), ',')) {
      Take(parser);
      int64_t helpId = 0;
      if (!ReadValue(parser, &helpId)) return false;
    }
  }
  return true;
}

// FONT pointsize, "face" [, weight, italic [, charset]]
bool ReadFont(Parser& parser, DialogTemplate* dialog) {
  if (!ReadInt(parser, 1, 255, "font size", &dialog->fontPointSize) || !ExpectComma(parser) ||
      !ReadStringToken(parser, "the font face", &dialog->fontFace)) {
    return false;
  }
  while (IsSymbol(Peek(parser), ',')) {
    Take(parser);
    int64_t ignored = 0;
    if (!ReadValue(parser, &ignored)) return false;
  }
  return true;
}

bool ReadOptionalStatements(Parser& parser, DialogTemplate* dialog) {
  while (true) {
    const Token& token = Peek(parser);
    if (IsKeyword(token, "BEGIN") || IsSymbol(token, '{')) {
      Take(parser);
      return true;
    }
    Take(parser);
    if (IsKeyword(token, "STYLE")) {
      if (!ReadStyle(parser, 0, &dialog->style)) return false;
    } else if (IsKeyword(token, "EXSTYLE")) {
      if (!ReadStyle(parser, 0, &dialog->exStyle)) return false;
    } else if (IsKeyword(token, "FONT")) {
      if (!ReadFont(parser, dialog)) return false;
      dialog->style |= DS_SETFONT;
    } else if (IsKeyword(token, "CAPTION")) {
      if (!ReadStringToken(parser, "the caption", &dialog->caption)) return false;
      dialog->style |= WS_CAPTION;
    } else {
      return Fail(parser, token.line, "unsupported dialog statement " + Describe(token));
    }
  }
}

bool ReadControls(Parser& parser, DialogTemplate* dialog) {
  while (true) {
    const Token& token = Take(parser);
    if (IsKeyword(token, "END") || IsSymbol(token, '}')) return true;
    if (!IsKeyword(token, "CONTROL")) {
      return Fail(parser, token.line, "expected CONTROL or END but found " + Describe(token));
    }
    DialogItemTemplate item;
    if (!ReadControl(parser, &item)) return false;
    dialog->items.push_back(item);
  }
}

bool ReadDialog(Parser& parser, DialogTemplate* dialog) {
  dialog->style = WS_POPUP | WS_BORDER | WS_SYSMENU;
  if (!ReadRectangle(parser, &dialog->x, &dialog->y, &dialog->width, &dialog->height)) return false;
  if (IsSymbol(Peek(parser), ',')) {
    Take(parser);
    int64_t helpId = 0;
    if (!ReadValue(parser, &helpId)) return false;
  }
  return ReadOptionalStatements(parser, dialog) && ReadControls(parser, dialog);
}

// MENUITEM "text", id [, option ...] | MENUITEM SEPARATOR | POPUP "text" [, option ...] BEGIN items END
bool ReadMenuItems(Parser& parser, std::vector<MenuItemTemplate>* items);

bool ReadMenuOptions(Parser& parser, MenuItemTemplate* item) {
  while (true) {
    if (IsSymbol(Peek(parser), ',')) Take(parser);
    const Token& token = Peek(parser);
    if (IsKeyword(token, "GRAYED")) {
      item->grayed = true;
    } else if (IsKeyword(token, "CHECKED")) {
      item->checked = true;
    } else if (IsKeyword(token, "INACTIVE") || IsKeyword(token, "HELP") || IsKeyword(token, "MENUBREAK") ||
               IsKeyword(token, "MENUBARBREAK")) {
      // Accepted, and of no consequence here.
    } else {
      return true;
    }
    Take(parser);
  }
}

bool ReadMenuItem(Parser& parser, const Token& keyword, MenuItemTemplate* item) {
  if (IsKeyword(keyword, "MENUITEM")) {
    if (IsKeyword(Peek(parser), "SEPARATOR")) {
      Take(parser);
      item->separator = true;
      return true;
    }
    if (!ReadStringToken(parser, "the item text", &item->text) || !ExpectComma(parser)) return false;
    int64_t id = 0;
    const int idLine = Peek(parser).line;
    if (!ReadValue(parser, &id)) return false;
    if (id < 0 || id > 0xFFFF) return Fail(parser, idLine, "menu id " + std::to_string(id) + " is out of range");
    item->id = static_cast<int>(id);
    return ReadMenuOptions(parser, item);
  }
  if (IsKeyword(keyword, "POPUP")) {
    item->popup = true;
    if (!ReadStringToken(parser, "the pop-up text", &item->text) || !ReadMenuOptions(parser, item)) return false;
    const Token& begin = Take(parser);
    if (!IsKeyword(begin, "BEGIN") && !IsSymbol(begin, '{')) {
      return Fail(parser, begin.line, "expected BEGIN but found " + Describe(begin));
    }
    return ReadMenuItems(parser, &item->items);
  }
  return Fail(parser, keyword.line, "expected MENUITEM, POPUP or END but found " + Describe(keyword));
}

bool ReadMenuItems(Parser& parser, std::vector<MenuItemTemplate>* items) {
  if (parser.depth >= kMaxNesting) return Fail(parser, Peek(parser).line, "menu nested too deeply");
  ++parser.depth;
  while (true) {
    const Token& token = Take(parser);
    if (IsKeyword(token, "END") || IsSymbol(token, '}')) break;
    MenuItemTemplate item;
    if (!ReadMenuItem(parser, token, &item)) return false;
    items->push_back(item);
  }
  --parser.depth;
  return true;
}

bool ReadMenu(Parser& parser, MenuTemplate* menu) {
  const Token& begin = Take(parser);
  if (!IsKeyword(begin, "BEGIN") && !IsSymbol(begin, '{')) {
    return Fail(parser, begin.line, "expected BEGIN but found " + Describe(begin));
  }
  return ReadMenuItems(parser, &menu->items);
}

// The key of an accelerator: "A" (a virtual key or character), "^A" (a control character) or a number.
bool ReadAcceleratorKey(Parser& parser, AcceleratorTemplate* entry, bool* controlCharacter) {
  const Token& token = Take(parser);
  if (token.kind == TokenKind::Number) {
    if (token.number > 0xFFFF) return Fail(parser, token.line, "key " + std::to_string(token.number) + " is out of range");
    entry->key = static_cast<int>(token.number);
    return true;
  }
  if (token.kind != TokenKind::String) return Fail(parser, token.line, "expected a key but found " + Describe(token));
  const std::string& text = token.text;
  if (text.size() == 2 && text[0] == '^' && std::isalpha(static_cast<unsigned char>(text[1]))) {
    entry->key = std::toupper(static_cast<unsigned char>(text[1])) - '@';
    *controlCharacter = true;
    return true;
  }
  if (text.size() != 1) return Fail(parser, token.line, "the key \"" + text + "\" is not one character");
  entry->key = static_cast<unsigned char>(text[0]);
  return true;
}

// "key", id [, ASCII | VIRTKEY] [, NOINVERT] [, ALT] [, SHIFT] [, CONTROL]
bool ReadAccelerator(Parser& parser, AcceleratorTemplate* entry) {
  bool controlCharacter = false;
  if (!ReadAcceleratorKey(parser, entry, &controlCharacter) || !ExpectComma(parser)) return false;
  int64_t id = 0;
  const int idLine = Peek(parser).line;
  if (!ReadValue(parser, &id)) return false;
  if (id < 0 || id > 0xFFFF) return Fail(parser, idLine, "command id " + std::to_string(id) + " is out of range");
  entry->id = static_cast<int>(id);
  while (IsSymbol(Peek(parser), ',')) {
    Take(parser);
    const Token& option = Take(parser);
    if (IsKeyword(option, "VIRTKEY")) {
      entry->virtualKey = true;
    } else if (IsKeyword(option, "CONTROL")) {
      entry->control = true;
    } else if (IsKeyword(option, "SHIFT")) {
      entry->shift = true;
    } else if (IsKeyword(option, "ALT")) {
      entry->alt = true;
    } else if (!IsKeyword(option, "ASCII") && !IsKeyword(option, "NOINVERT")) {
      return Fail(parser, option.line, "unknown accelerator option " + Describe(option));
    }
  }
  if (controlCharacter && entry->virtualKey) return Fail(parser, idLine, "a \"^\" key cannot be VIRTKEY");
  const bool modified = entry->control || entry->shift || entry->alt;
  if (modified && !entry->virtualKey) return Fail(parser, idLine, "CONTROL, SHIFT and ALT go with VIRTKEY");
  return true;
}

bool ReadAccelerators(Parser& parser, std::vector<AcceleratorTemplate>* table) {
  const Token& begin = Take(parser);
  if (!IsKeyword(begin, "BEGIN") && !IsSymbol(begin, '{')) {
    return Fail(parser, begin.line, "expected BEGIN but found " + Describe(begin));
  }
  while (true) {
    if (IsKeyword(Peek(parser), "END") || IsSymbol(Peek(parser), '}')) {
      Take(parser);
      return true;
    }
    if (Peek(parser).kind == TokenKind::End) return Fail(parser, Peek(parser).line, "expected END but found end of text");
    AcceleratorTemplate entry;
    if (!ReadAccelerator(parser, &entry)) return false;
    table->push_back(entry);
  }
}

// Tokenizes the script and places the parser after "name KIND" for the first of `kinds`
// that names the resource; false with the error (a tokenizing one, or none found) otherwise.
bool FindResource(Parser& parser, const std::string& script, const std::string& name,
                  std::initializer_list<const char*> kinds, const char* what, std::string* error) {
  if (!Tokenize(parser, script)) {
    *error = parser.error;
    return false;
  }
  for (size_t i = 0; i + 1 < parser.tokens.size(); ++i) {
    const Token& token = parser.tokens[i];
    const bool named = (token.kind == TokenKind::Name || token.kind == TokenKind::String) &&
                       strcasecmp(token.text.c_str(), name.c_str()) == 0;
    if (!named) continue;
    for (const char* kind : kinds) {
      if (IsKeyword(parser.tokens[i + 1], kind)) {
        parser.next = i + 2;
        return true;
      }
    }
  }
  *error = std::string("no ") + what + " named \"" + name + "\"";
  return false;
}

}  // namespace

bool ParseDialogTemplate(const std::string& script, const std::string& name, DialogTemplate* result,
                         std::string* error) {
  Parser parser;
  if (!FindResource(parser, script, name, {"DIALOGEX", "DIALOG"}, "dialog", error)) return false;
  *result = DialogTemplate();
  result->name = parser.tokens[parser.next - 2].text;
  if (!ReadDialog(parser, result)) {
    *error = parser.error;
    return false;
  }
  return true;
}

bool ParseMenuTemplate(const std::string& script, const std::string& name, MenuTemplate* result, std::string* error) {
  Parser parser;
  if (!FindResource(parser, script, name, {"MENU"}, "menu", error)) return false;
  *result = MenuTemplate();
  result->name = parser.tokens[parser.next - 2].text;
  if (!ReadMenu(parser, result)) {
    *error = parser.error;
    return false;
  }
  return true;
}

bool ParseAcceleratorTable(const std::string& script, const std::string& name,
                           std::vector<AcceleratorTemplate>* result, std::string* error) {
  Parser parser;
  if (!FindResource(parser, script, name, {"ACCELERATORS"}, "accelerator table", error)) return false;
  result->clear();
  if (!ReadAccelerators(parser, result)) {
    *error = parser.error;
    return false;
  }
  return true;
}
