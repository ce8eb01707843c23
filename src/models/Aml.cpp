// The AML format 2 reader and writer, and the byte streams under them. The reader
// checks every count against the bytes left in the file before it allocates, so a
// truncated or inconsistent file is reported instead of read past its end. Loading a
// model by name looks its file up in the data folder, reads it and resolves its positions.
#include "models/Model.h"

#include "core/Fatal.h"
#include "resources/DataFolder.h"
#include "resources/TextureManager.h"

#include <cstdlib>
#include <cstring>

uint8_t InputStream::readU8() {
    uint8_t value = 0;
    if (!read(&value, 1)) {
        ok_ = false;
        return 0;
    }
    return value;
}

// The file's bytes are little-endian; assembling them by hand keeps that true on any host.
uint16_t InputStream::readU16() {
    uint8_t bytes[2] = {};
    if (!read(bytes, 2)) {
        ok_ = false;
        return 0;  // a short read leaves part of a value behind: report none of it
    }
    return static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
}

uint32_t InputStream::readU32() {
    uint8_t bytes[4] = {};
    if (!read(bytes, 4)) {
        ok_ = false;
        return 0;
    }
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

float InputStream::readFloat() {
    uint32_t bits = readU32();
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

double InputStream::readDouble() {
    uint64_t low = readU32();
    uint64_t high = readU32();
    uint64_t bits = low | high << 32;
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

FileInputStream::FileInputStream(const char* path) {
    file_ = std::fopen(path, "rb");
    if (!file_) return;
    if (std::fseek(file_, 0, SEEK_END) == 0) size_ = std::ftell(file_);
    if (size_ < 0) size_ = 0;
    std::fseek(file_, 0, SEEK_SET);
}

FileInputStream::~FileInputStream() {
    if (file_) std::fclose(file_);
}

void FileInputStream::seek(long offset, int origin) {
    if (file_) std::fseek(file_, offset, origin);
}

bool FileInputStream::read(void* buffer, size_t length) {
    if (length == 0) return true;
    bool complete = file_ && std::fread(buffer, length, 1, file_) == 1;
    if (!complete) ok_ = false;
    return complete;
}

long FileInputStream::tell() const { return file_ ? std::ftell(file_) : 0; }

namespace {

// Bytes of the file not read yet; the reader compares every count against this
// before it allocates or reads.
long bytesLeft(const FileInputStream& in) { return in.size() - in.tell(); }

[[noreturn]] void truncatedAml(const char* path, int mesh, int meshCount) {
    fatalError("File '%s' is truncated (mesh %d of %d).\n", path, mesh + 1, meshCount);
}

// Float array from little-endian file bytes, in place.
void readFloats(FileInputStream& in, float* values, size_t count) {
    in.read(values, count * 4);
    for (size_t i = 0; i < count; ++i) {
        uint8_t b[4];
        std::memcpy(b, &values[i], 4);
        uint32_t bits = static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
                        static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
        std::memcpy(&values[i], &bits, 4);
    }
}

void readMesh(FileInputStream& in, Mesh& mesh, const char* path, int index, int meshCount) {
    if (bytesLeft(in) < 7) truncatedAml(path, index, meshCount);
    int positionCount = in.readU16();
    int vertexCount = in.readU16();
    int triangleCount = in.readU16();
    int attributeCount = in.readU8();
    if (attributeCount > 16) {
        fatalError("File '%s': mesh %d has %d attributes, at most 16 allowed.\n", path,
                   index + 1, attributeCount);
    }
    if (bytesLeft(in) < 2L * attributeCount) truncatedAml(path, index, meshCount);
    int stride = 0;
    for (int i = 0; i < attributeCount; ++i) {
        int type = in.readU8();
        int components = in.readU8();
        if (type > 15) {
            fatalError("File '%s': mesh %d, attribute %d has type %d, above 15.\n", path,
                       index + 1, i, type);
        }
        // Position resolving replaces exactly one leading 1-component index.
        bool positionIndex = type == 1 && components == 1;
        if (i == 0 ? !positionIndex : type == 1) {
            fatalError("File '%s': mesh %d does not start with its one position index "
                       "attribute (attribute %d is type %d with %d components).\n",
                       path, index + 1, i, type, components);
        }
        mesh.attributeTypes[i] = type;
        mesh.attributeComponents[i] = components;
        stride += components;
    }
    if (attributeCount == 0) {
        fatalError("File '%s': mesh %d has no position index attribute.\n", path, index + 1);
    }
    mesh.attributeCount = attributeCount;
    mesh.positionCount = positionCount;
    mesh.vertexCount = vertexCount;
    mesh.triangleCount = triangleCount;

    long needed = 12L * positionCount + 4L * stride * vertexCount + 6L * triangleCount;
    if (bytesLeft(in) < needed) truncatedAml(path, index, meshCount);

    mesh.positions.resize(static_cast<size_t>(positionCount) * 3);
    readFloats(in, mesh.positions.data(), mesh.positions.size());
    // Records are read whole; the position index keeps its integer bits in a float slot.
    mesh.vertexData.resize(static_cast<size_t>(stride) * vertexCount);
    readFloats(in, mesh.vertexData.data(), mesh.vertexData.size());
    mesh.indices.resize(static_cast<size_t>(triangleCount) * 3);
    for (uint16_t& vertex : mesh.indices) vertex = in.readU16();
    if (!in.ok()) truncatedAml(path, index, meshCount);

    for (int v = 0; v < vertexCount; ++v) {
        uint32_t position;
        std::memcpy(&position, &mesh.vertexData[static_cast<size_t>(v) * stride], 4);
        if (position >= static_cast<uint32_t>(positionCount)) {
            fatalError("File '%s': mesh %d, vertex %d uses position %u of %d.\n", path,
                       index + 1, v, position, positionCount);
        }
    }
    for (int t = 0; t < triangleCount * 3; ++t) {
        if (mesh.indices[t] >= vertexCount) {
            fatalError("File '%s': mesh %d, triangle %d uses vertex %d of %d.\n", path,
                       index + 1, t / 3, mesh.indices[t], vertexCount);
        }
    }
    mesh.updateLayout();
}

class ByteWriter {
public:
    void u8(unsigned value) { bytes_.push_back(static_cast<char>(value & 0xFF)); }
    void u16(unsigned value) { u8(value); u8(value >> 8); }
    void u32(uint32_t value) { u16(value & 0xFFFF); u16(value >> 16); }
    void f32(float value) {
        uint32_t bits;
        std::memcpy(&bits, &value, 4);
        u32(bits);
    }
    const std::string& bytes() const { return bytes_; }

private:
    std::string bytes_;
};

// A mesh as stored (type-1 index, position table) is written as it is; a resolved one
// (type-0 position first) gets one table entry per record.
bool writeMesh(ByteWriter& out, const Mesh& mesh) {
    if (mesh.attributeCount < 1 || mesh.attributeCount > 16) return false;
    if (mesh.vertexCount < 0 || mesh.vertexCount > 0xFFFF || mesh.triangleCount < 0 ||
        mesh.triangleCount > 0xFFFF)
        return false;
    int stride = 0;
    for (int i = 0; i < mesh.attributeCount; ++i) {
        if (mesh.attributeTypes[i] < 0 || mesh.attributeTypes[i] > 15) return false;
        if (mesh.attributeComponents[i] < 0 || mesh.attributeComponents[i] > 255) return false;
        stride += mesh.attributeComponents[i];
    }
    if (mesh.vertexData.size() < static_cast<size_t>(stride) * mesh.vertexCount ||
        mesh.indices.size() < static_cast<size_t>(mesh.triangleCount) * 3)
        return false;

    bool stored = mesh.attributeTypes[0] == 1 && mesh.attributeComponents[0] == 1;
    bool resolved = mesh.attributeTypes[0] == 0 && mesh.attributeComponents[0] == 3;
    if (!stored && !resolved) return false;
    int positionCount = stored ? mesh.positionCount : mesh.vertexCount;
    if (stored && (positionCount < 0 || positionCount > 0xFFFF ||
                   mesh.positions.size() < static_cast<size_t>(positionCount) * 3))
        return false;
    int skipped = stored ? 1 : 3;  // leading components replaced by the index

    out.u16(positionCount);
    out.u16(mesh.vertexCount);
    out.u16(mesh.triangleCount);
    out.u8(mesh.attributeCount);
    out.u8(1);
    out.u8(1);
    for (int i = 1; i < mesh.attributeCount; ++i) {
        out.u8(mesh.attributeTypes[i]);
        out.u8(mesh.attributeComponents[i]);
    }
    for (int v = 0; v < mesh.vertexCount && resolved; ++v) {
        for (int c = 0; c < 3; ++c) out.f32(mesh.vertexData[static_cast<size_t>(v) * stride + c]);
    }
    for (int p = 0; p < positionCount && stored; ++p) {
        for (int c = 0; c < 3; ++c) out.f32(mesh.positions[static_cast<size_t>(p) * 3 + c]);
    }
    for (int v = 0; v < mesh.vertexCount; ++v) {
        const float* record = &mesh.vertexData[static_cast<size_t>(v) * stride];
        uint32_t position = static_cast<uint32_t>(v);
        if (stored) std::memcpy(&position, record, 4);
        if (position >= static_cast<uint32_t>(positionCount)) return false;
        out.u32(position);
        for (int c = skipped; c < stride; ++c) out.f32(record[c]);
    }
    for (int t = 0; t < mesh.triangleCount * 3; ++t) {
        if (mesh.indices[t] >= mesh.vertexCount) return false;
        out.u16(mesh.indices[t]);
    }
    return true;
}

}  // namespace

void readAml(Model& model, const char* path) {
    FileInputStream in(path);
    if (!in.isOpen()) {
        std::fprintf(stderr, "File %s not found!\n", path);
        std::exit(1);
    }
    const char magic[3] = {'A', 'M', 'L'};
    for (char expected : magic) {
        if (in.readU8() != static_cast<uint8_t>(expected) || !in.ok()) {
            fatalError("File '%s' is not AML file (or is format version 0).\n", path);
        }
    }
    int version = in.readU8();
    if (!in.ok()) fatalError("File '%s' is truncated (header).\n", path);
    if (version != 2) {
        fatalError("File '%s' is not AML format 2 file (format = %d).\n", path, version);
    }
    int meshCount = static_cast<int32_t>(in.readU32());
    if (!in.ok()) fatalError("File '%s' is truncated (header).\n", path);
    if (meshCount < 0) meshCount = 0;
    // Every mesh takes at least its 7-byte header: a huge count cannot reserve memory.
    if (meshCount > bytesLeft(in) / 7) {
        fatalError("File '%s' is truncated: %d meshes announced, room for at most %ld.\n", path,
                   meshCount, bytesLeft(in) / 7);
    }

    model.meshes.clear();
    model.meshes.reserve(meshCount);
    for (int i = 0; i < meshCount; ++i) {
        model.meshes.emplace_back();
        readMesh(in, model.meshes.back(), path, i, meshCount);
    }
}

bool writeAml(const Model& model, const char* path) {
    ByteWriter out;
    out.u8('A');
    out.u8('M');
    out.u8('L');
    out.u8(2);
    out.u32(static_cast<uint32_t>(model.meshes.size()));
    for (const Mesh& mesh : model.meshes) {
        if (!writeMesh(out, mesh)) return false;
    }
    FILE* file = std::fopen(path, "wb");
    if (!file) return false;
    bool written = std::fwrite(out.bytes().data(), 1, out.bytes().size(), file) == out.bytes().size();
    return std::fclose(file) == 0 && written;
}

void ModelManager::load(const std::string& name) {
    std::string path =
        findResourceFile(dataFolder.c_str(), name.c_str(), "aml", "", "", "", "", "", "", "");
    // A name loaded again drops its old meshes before the new ones are read.
    entry(name) = Model();
    Model& model = get(name);
    readAml(model, path.c_str());
    for (Mesh& mesh : model.meshes) mesh.resolvePositions();
}
