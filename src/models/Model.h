// AML models: meshes of interleaved 32-bit vertex records and 16-bit triangle indices.
// Positions sit in the first three components of every record once loaded.
#pragma once

#include "core/GL.h"
#include "resources/Registry.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

class InputStream {
public:
    virtual ~InputStream() = default;
    virtual void seek(long offset, int origin) = 0;
    // Copies `length` raw bytes; returns false when fewer were there.
    virtual bool read(void* buffer, size_t length) = 0;
    uint8_t readU8();
    uint16_t readU16();
    uint32_t readU32();
    float readFloat();
    double readDouble();
    bool ok() const { return ok_; }  // false once any read came up short

protected:
    bool ok_ = true;
};

class FileInputStream : public InputStream {
public:
    explicit FileInputStream(const char* path);
    ~FileInputStream() override;
    bool isOpen() const { return file_ != nullptr; }
    void seek(long offset, int origin) override;
    bool read(void* buffer, size_t length) override;
    long size() const { return size_; }
    long tell() const;

private:
    FILE* file_ = nullptr;
    long size_ = 0;
};

constexpr GLuint kNoBuffer = 0xFFFFFFFFu;

struct Mesh {
    GLuint vertexBuffer = kNoBuffer;   // GL buffer names, none until upload
    GLuint indexBuffer = kNoBuffer;
    int positionCount = 0;             // entries of `positions`; 0 once resolved
    int vertexCount = 0;
    int triangleCount = 0;
    int attributeCount = 0;            // at most 16
    int attributeComponents[16];       // 0 when unused
    int attributeTypes[16];            // -1 when unused
    std::vector<float> positions;      // positionCount * 3
    std::vector<float> vertexData;     // vertexCount * stride; a type-1 index is stored bitwise
    std::vector<uint16_t> indices;     // triangleCount * 3
    int tangentLocation = -1;          // generic attribute for the tangent array
    int slotOfType[16];                // attribute position of each type, -1 if absent
    int stride = 0;                    // components per record

    Mesh();
    // Offset in components of the attribute carrying `type` within a record; -1 if absent.
    int offsetOf(int type) const;
    void updateLayout();
    void resolvePositions();
    void addAttribute(int type, int components);
    void computeNormals();
    void computeTangents();
    void upload();
    void draw() const;
};

struct Model {
    std::vector<Mesh> meshes;

    void computeNormals();
    void computeTangents();
    void upload();
    void draw() const;
};

class ModelManager : public ResourceRegistry<Model> {
public:
    std::string kindName() const override { return "model"; }
    void load(const std::string& name);
};

// Reads an AML format 2 file into `model` (meshes as stored: type 1 position index).
void readAml(Model& model, const char* path);
// Writes `model` as AML format 2. A mesh as read (type-1 position index first, with
// its position table) is written as it is; a resolved mesh (type-0 position first)
// gets one table entry per record. Returns false for a mesh the format cannot hold
// (inconsistent counts or indices) or when the file cannot be written.
bool writeAml(const Model& model, const char* path);
