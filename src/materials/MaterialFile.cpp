// Material files: plain text read in pieces of at most 510 characters. A piece holding
// "%TEX" is a texture line, "%VERTEX_SHADER" / "%FRAGMENT_SHADER" switch the section
// (text above any marker is vertex text), anything else is shader text kept byte for
// byte, line ends included. Texture line words are bounded: type 79, names 255.
#include "materials/MaterialManager.h"

#include "core/Fatal.h"

#include <cctype>
#include <cstdio>
#include <memory>

namespace {

constexpr size_t kPieceLength = 510;
constexpr size_t kTypeLimit = 79;
constexpr size_t kNameLimit = 255;

// The next piece of a line: up to and including its '\n', at most kPieceLength bytes.
bool readPiece(FILE* file, std::string& piece) {
    piece.clear();
    int c;
    while (piece.size() < kPieceLength && (c = std::fgetc(file)) != EOF) {
        piece.push_back(static_cast<char>(c));
        if (c == '\n') break;
    }
    return !piece.empty();
}

bool isBlank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

void skipBlanks(const std::string& line, size_t& at) {
    while (at < line.size() && isBlank(line[at])) ++at;
}

// A whitespace-delimited word; empty at the end of the line.
std::string nextWord(const std::string& line, size_t& at) {
    skipBlanks(line, at);
    size_t start = at;
    while (at < line.size() && !isBlank(line[at])) ++at;
    return line.substr(start, at - start);
}

// The three words of "%TEX<type> <sampler> = <texture>", the way a scanf of
// "%%TEX%s %s = %s" splits them: the sampler word ends only at a blank, so
// "sampler=texture" or "sampler= texture" leaves the "=" unmatched. Blanks before
// "%TEX" are skipped; any other text there is a read error.
int scanTextureLine(const std::string& line, std::string words[3]) {
    size_t at = 0;
    skipBlanks(line, at);
    if (line.compare(at, 4, "%TEX") != 0) return 0;
    at += 4;
    for (int i = 0; i < 2; ++i) {
        words[i] = nextWord(line, at);
        if (words[i].empty()) return i;
    }
    skipBlanks(line, at);
    if (at >= line.size() || line[at] != '=') return 2;
    ++at;
    words[2] = nextWord(line, at);
    return words[2].empty() ? 2 : 3;
}

TextureSlot parseTextureLine(const std::string& line) {
    std::string words[3];
    if (scanTextureLine(line, words) < 3) {
        fatalError("Read error in material file, line:\n'%s'", line.c_str());
    }
    if (words[0].size() > kTypeLimit || words[1].size() > kNameLimit ||
        words[2].size() > kNameLimit) {
        fatalError("Word too long in material file (type at most %zu characters, names at most "
                   "%zu), line:\n'%s'",
                   kTypeLimit, kNameLimit, line.c_str());
    }
    TextureSlot slot;
    if (words[0] == "2D") slot.target = GL_TEXTURE_2D;
    else if (words[0] == "3D") slot.target = GL_TEXTURE_3D;
    else if (words[0] == "1D") slot.target = GL_TEXTURE_1D;
    else if (words[0] == "CUBE") slot.target = GL_TEXTURE_CUBE_MAP;
    else fatalError("Invalid texture type '%s' in line '%s'", words[0].c_str(), line.c_str());
    slot.samplerName = words[1];
    slot.textureName = words[2];
    return slot;
}

const char* typeWord(GLenum target) {
    switch (target) {
        case GL_TEXTURE_1D: return "1D";
        case GL_TEXTURE_2D: return "2D";
        case GL_TEXTURE_3D: return "3D";
        case GL_TEXTURE_CUBE_MAP: return "CUBE";
        default: return nullptr;
    }
}

bool holdsMarker(const std::string& text) {
    return text.find("%TEX") != std::string::npos ||
           text.find("%VERTEX_SHADER") != std::string::npos ||
           text.find("%FRAGMENT_SHADER") != std::string::npos;
}

bool isWord(const std::string& word, size_t limit) {
    if (word.empty() || word.size() > limit) return false;
    for (char c : word) {
        if (isBlank(c) || c == '\0') return false;
    }
    return true;
}

}  // namespace

MaterialSource readMaterialFile(const std::string& path) {
    // Closed on every way out, the fatal reports included: the fuzz build's report
    // unwinds instead of ending the process.
    const std::unique_ptr<FILE, int (*)(FILE*)> open(std::fopen(path.c_str(), "rb"), &std::fclose);
    FILE* file = open.get();
    if (!file) fatalError("Could not open material file '%s'.", path.c_str());
    MaterialSource source;
    std::string* section = &source.vertexText;
    std::string piece;
    while (readPiece(file, piece)) {
        if (piece.find("%TEX") != std::string::npos) {
            source.textures.push_back(parseTextureLine(piece));
        } else if (piece.find("%VERTEX_SHADER") != std::string::npos) {
            section = &source.vertexText;
        } else if (piece.find("%FRAGMENT_SHADER") != std::string::npos) {
            section = &source.fragmentText;
        } else {
            section->append(piece);
        }
    }
    // A folder opens but cannot be read: as unreadable as a missing file.
    if (std::ferror(file)) fatalError("Could not open material file '%s'.", path.c_str());
    return source;
}

bool writeMaterialFile(const std::string& path, const MaterialSource& source) {
    std::string text;
    for (const TextureSlot& slot : source.textures) {
        const char* type = typeWord(slot.target);
        if (!type || !isWord(slot.samplerName, kNameLimit) || !isWord(slot.textureName, kNameLimit))
            return false;
        text += std::string("%TEX") + type + " " + slot.samplerName + " = " + slot.textureName + "\n";
    }
    // Shader text reads back unchanged only if no piece of it looks like a marker and
    // each section ends its last line.
    for (const std::string* shader : {&source.vertexText, &source.fragmentText}) {
        if (holdsMarker(*shader)) return false;
        if (!shader->empty() && shader->back() != '\n') return false;
    }
    text += "%VERTEX_SHADER\n" + source.vertexText + "%FRAGMENT_SHADER\n" + source.fragmentText;
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && written;
}
