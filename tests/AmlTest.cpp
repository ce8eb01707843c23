// The AML reader on files written byte by byte: valid layouts, every malformed case,
// and the writer's output read back.
#include "TestSupport.h"
#include "models/Model.h"

#include <gtest/gtest.h>

#include <cstring>
#include <unistd.h>

namespace {

// Little-endian file bytes, put together field by field.
struct Bytes {
    std::string data;
    Bytes& u8(unsigned v) { data.push_back(static_cast<char>(v & 0xFF)); return *this; }
    Bytes& u16(unsigned v) { return u8(v).u8(v >> 8); }
    Bytes& u32(uint32_t v) { return u16(v & 0xFFFF).u16(v >> 16); }
    Bytes& f32(float f) {
        uint32_t bits;
        std::memcpy(&bits, &f, 4);
        return u32(bits);
    }
    Bytes& text(const char* s) { data += s; return *this; }
};

Bytes header(int meshCount) { return Bytes().text("AML").u8(2).u32(meshCount); }

// One mesh: attributes (1,1) (2,3) (6,2), two positions, three records, one triangle.
// Records 0 and 2 share position 1.
Bytes& strideSixMesh(Bytes& b) {
    b.u16(2).u16(3).u16(1).u8(3);
    b.u8(1).u8(1).u8(2).u8(3).u8(6).u8(2);
    b.f32(1).f32(2).f32(3);
    b.f32(4).f32(5).f32(6);
    b.u32(1).f32(0).f32(0).f32(1).f32(0.25f).f32(0.5f);
    b.u32(0).f32(0).f32(1).f32(0).f32(0.75f).f32(1.0f);
    b.u32(1).f32(1).f32(0).f32(0).f32(0.0f).f32(0.125f);
    b.u16(0).u16(1).u16(2);
    return b;
}

class AmlFiles : public ::testing::Test {
protected:
    std::string write(const std::string& name, const Bytes& bytes) {
        std::string path = dir_ + "/" + name;
        writeFileBytes(path, bytes.data);
        return path;
    }
    std::string dir_ = makeTempDir("aml");
};

using AmlFilesDeathTest = AmlFiles;

TEST_F(AmlFiles, EmptyModelHasNoMeshes) {
    Model model;
    model.meshes.resize(2);
    readAml(model, write("empty.aml", header(0)).c_str());
    EXPECT_TRUE(model.meshes.empty());
    readAml(model, write("negative.aml", header(-5)).c_str());
    EXPECT_TRUE(model.meshes.empty());
}

TEST_F(AmlFiles, StrideSixBecomesEightWithSharedPositions) {
    Bytes b = header(1);
    std::string path = write("six.aml", strideSixMesh(b));
    Model model;
    readAml(model, path.c_str());
    ASSERT_EQ(model.meshes.size(), 1u);
    Mesh& mesh = model.meshes[0];
    EXPECT_EQ(mesh.stride, 6);
    EXPECT_EQ(mesh.positionCount, 2);
    EXPECT_EQ(mesh.slotOfType[1], 0);

    mesh.resolvePositions();
    EXPECT_EQ(mesh.stride, 8);
    EXPECT_EQ(mesh.positionCount, 0);
    EXPECT_TRUE(mesh.positions.empty());
    EXPECT_EQ(mesh.attributeTypes[0], 0);
    EXPECT_EQ(mesh.attributeComponents[0], 3);
    for (int type = 0; type < 16; ++type) {
        int expected = type == 0 ? 0 : type == 2 ? 1 : type == 6 ? 2 : -1;
        EXPECT_EQ(mesh.slotOfType[type], expected) << "type " << type;
    }
    EXPECT_EQ(mesh.offsetOf(2), 3);
    EXPECT_EQ(mesh.offsetOf(6), 6);
    const std::vector<float> expected = {4, 5, 6, 0, 0, 1, 0.25f, 0.5f,
                                         1, 2, 3, 0, 1, 0, 0.75f, 1.0f,
                                         4, 5, 6, 1, 0, 0, 0.0f, 0.125f};
    EXPECT_EQ(mesh.vertexData, expected);
    EXPECT_EQ(mesh.indices, (std::vector<uint16_t>{0, 1, 2}));

    // Resolving twice must not shift the records again.
    mesh.resolvePositions();
    EXPECT_EQ(mesh.vertexData, expected);
}

TEST_F(AmlFiles, MeshesFollowEachOtherAndTrailingBytesAreIgnored) {
    Bytes b = header(2);
    strideSixMesh(b);
    b.u16(1).u16(1).u16(0).u8(1).u8(1).u8(1).f32(7).f32(8).f32(9).u32(0);
    b.text("trailing junk");
    Model model;
    readAml(model, write("two.aml", b).c_str());
    ASSERT_EQ(model.meshes.size(), 2u);
    model.meshes[1].resolvePositions();
    EXPECT_EQ(model.meshes[1].vertexData, (std::vector<float>{7, 8, 9}));
    EXPECT_EQ(model.meshes[1].triangleCount, 0);
}

TEST_F(AmlFiles, WriterOutputReadsBackForStoredAndResolvedMeshes) {
    Bytes b = header(1);
    std::string original = write("six.aml", strideSixMesh(b));
    Model model;
    readAml(model, original.c_str());
    std::string copy = dir_ + "/copy.aml";
    ASSERT_TRUE(writeAml(model, copy.c_str()));
    EXPECT_EQ(readFileBytes(copy), readFileBytes(original));

    // A resolved mesh comes back with one table entry per record and the same records.
    model.meshes[0].resolvePositions();
    std::string resolved = dir_ + "/resolved.aml";
    ASSERT_TRUE(writeAml(model, resolved.c_str()));
    Model back;
    readAml(back, resolved.c_str());
    ASSERT_EQ(back.meshes.size(), 1u);
    EXPECT_EQ(back.meshes[0].positionCount, 3);
    back.meshes[0].resolvePositions();
    EXPECT_EQ(back.meshes[0].vertexData, model.meshes[0].vertexData);
    EXPECT_EQ(back.meshes[0].indices, model.meshes[0].indices);
}

TEST_F(AmlFiles, WriterRefusesWhatTheFormatCannotHold) {
    Bytes b = header(1);
    Model model;
    readAml(model, write("six.aml", strideSixMesh(b)).c_str());
    std::string out = dir_ + "/out.aml";

    Model badIndex = model;
    badIndex.meshes[0].indices[2] = 3;
    EXPECT_FALSE(writeAml(badIndex, out.c_str()));

    Model shortRecords = model;
    shortRecords.meshes[0].vertexData.resize(5);
    EXPECT_FALSE(writeAml(shortRecords, out.c_str()));

    Model noPosition = model;
    noPosition.meshes[0].attributeTypes[0] = 3;
    EXPECT_FALSE(writeAml(noPosition, out.c_str()));

    EXPECT_FALSE(writeAml(model, (dir_ + "/missing/folder.aml").c_str()));
}

TEST_F(AmlFiles, StreamReadsLittleEndianAndFlagsShortReads) {
    Bytes b;
    b.u8(0x7F).u16(0xBEEF).u32(0xDEADBEEF).f32(-2.5f);
    double d = 1.0 / 3.0;
    uint64_t bits;
    std::memcpy(&bits, &d, 8);
    b.u32(static_cast<uint32_t>(bits)).u32(static_cast<uint32_t>(bits >> 32));
    FileInputStream in(write("values.bin", b).c_str());
    ASSERT_TRUE(in.isOpen());
    EXPECT_EQ(in.size(), 19);
    EXPECT_EQ(in.readU8(), 0x7F);
    EXPECT_EQ(in.readU16(), 0xBEEF);
    EXPECT_EQ(in.readU32(), 0xDEADBEEFu);
    EXPECT_EQ(in.readFloat(), -2.5f);
    EXPECT_EQ(in.readDouble(), d);
    EXPECT_TRUE(in.ok());
    in.seek(1, SEEK_SET);
    EXPECT_EQ(in.readU16(), 0xBEEF);
    in.seek(-1, SEEK_END);
    EXPECT_EQ(in.readU32(), 0u);
    EXPECT_FALSE(in.ok());
}

TEST_F(AmlFilesDeathTest, HeaderFaultsAreReported) {
    Model model;
    std::string badMagic = write("badmagic.aml", Bytes().text("AMX").u8(2).u32(0));
    EXPECT_EXIT(readAml(model, badMagic.c_str()), ::testing::ExitedWithCode(1),
                "File '.*badmagic.aml' is not AML file \\(or is format version 0\\)");
    std::string version1 = write("v1.aml", Bytes().text("AML").u8(1).u32(0));
    EXPECT_EXIT(readAml(model, version1.c_str()), ::testing::ExitedWithCode(1),
                "File '.*v1.aml' is not AML format 2 file \\(format = 1\\)");
    std::string tiny = write("tiny.aml", Bytes().text("AM"));
    EXPECT_EXIT(readAml(model, tiny.c_str()), ::testing::ExitedWithCode(1),
                "tiny.aml' is not AML file");
    std::string shortHeader = write("short.aml", Bytes().text("AML").u8(2).u16(1));
    EXPECT_EXIT(readAml(model, shortHeader.c_str()), ::testing::ExitedWithCode(1),
                "short.aml' is truncated");
    std::string huge = write("huge.aml", header(0x7FFFFFFF));
    EXPECT_EXIT(readAml(model, huge.c_str()), ::testing::ExitedWithCode(1),
                "huge.aml' is truncated: 2147483647 meshes announced");
    std::string missing = dir_ + "/absent.aml";
    EXPECT_EXIT(readAml(model, missing.c_str()), ::testing::ExitedWithCode(1),
                "File .*absent.aml not found!");
}

TEST_F(AmlFilesDeathTest, TruncatedMeshesAreReported) {
    Model model;
    Bytes full = header(1);
    strideSixMesh(full);
    // Cut inside the mesh header, the attribute list, the position table, the records
    // and the last index.
    for (size_t length : {size_t{15}, size_t{17}, size_t{30}, size_t{60}, full.data.size() - 1}) {
        Bytes cut;
        cut.data = full.data.substr(0, length);
        std::string path = write("cut" + std::to_string(length) + ".aml", cut);
        EXPECT_EXIT(readAml(model, path.c_str()), ::testing::ExitedWithCode(1),
                    "cut[0-9]+.aml' is truncated \\(mesh 1 of 1\\)")
            << "length " << length;
    }
    // A second mesh announced but missing.
    Bytes two = header(2);
    strideSixMesh(two);
    two.u16(0).u16(0).u16(0).u8(1);
    std::string path = write("second.aml", two);
    EXPECT_EXIT(readAml(model, path.c_str()), ::testing::ExitedWithCode(1),
                "second.aml' is truncated \\(mesh 2 of 2\\)");
}

TEST_F(AmlFilesDeathTest, InconsistentLayoutsAreReported) {
    Model model;
    Bytes types = header(1);
    types.u16(0).u16(0).u16(0).u8(2).u8(1).u8(1).u8(16).u8(2);
    EXPECT_EXIT(readAml(model, write("type.aml", types).c_str()), ::testing::ExitedWithCode(1),
                "type.aml': mesh 1, attribute 1 has type 16, above 15");

    Bytes many = header(1);
    many.u16(0).u16(0).u16(0).u8(17);
    for (int i = 0; i < 17; ++i) many.u8(i == 0 ? 1 : 3).u8(1);
    EXPECT_EXIT(readAml(model, write("many.aml", many).c_str()), ::testing::ExitedWithCode(1),
                "many.aml': mesh 1 has 17 attributes, at most 16 allowed");

    Bytes first = header(1);
    first.u16(0).u16(0).u16(0).u8(2).u8(2).u8(3).u8(1).u8(1);
    EXPECT_EXIT(readAml(model, write("first.aml", first).c_str()), ::testing::ExitedWithCode(1),
                "first.aml': mesh 1 does not start with its one position index");

    Bytes wide = header(1);
    wide.u16(0).u16(0).u16(0).u8(1).u8(1).u8(3);
    EXPECT_EXIT(readAml(model, write("wide.aml", wide).c_str()), ::testing::ExitedWithCode(1),
                "wide.aml': mesh 1 does not start with its one position index");

    Bytes twice = header(1);
    twice.u16(0).u16(0).u16(0).u8(2).u8(1).u8(1).u8(1).u8(1);
    EXPECT_EXIT(readAml(model, write("twice.aml", twice).c_str()), ::testing::ExitedWithCode(1),
                "twice.aml': mesh 1 does not start with its one position index");

    Bytes none = header(1);
    none.u16(0).u16(0).u16(0).u8(0);
    EXPECT_EXIT(readAml(model, write("none.aml", none).c_str()), ::testing::ExitedWithCode(1),
                "none.aml': mesh 1 has no position index attribute");
}

TEST_F(AmlFilesDeathTest, IndicesOutsideTheirTablesAreReported) {
    Model model;
    Bytes position = header(1);
    position.u16(1).u16(2).u16(0).u8(1).u8(1).u8(1);
    position.f32(0).f32(0).f32(0).u32(0).u32(1);
    EXPECT_EXIT(readAml(model, write("pos.aml", position).c_str()), ::testing::ExitedWithCode(1),
                "pos.aml': mesh 1, vertex 1 uses position 1 of 1");

    Bytes vertex = header(1);
    vertex.u16(1).u16(2).u16(1).u8(1).u8(1).u8(1);
    vertex.f32(0).f32(0).f32(0).u32(0).u32(0).u16(0).u16(1).u16(2);
    EXPECT_EXIT(readAml(model, write("tri.aml", vertex).c_str()), ::testing::ExitedWithCode(1),
                "tri.aml': mesh 1, triangle 0 uses vertex 2 of 2");
}

TEST(MeshLayoutDeathTest, UntypedAttributeExitsWithStatusOne) {
    Mesh mesh;
    mesh.attributeCount = 2;
    mesh.attributeTypes[0] = 0;
    mesh.attributeComponents[0] = 3;
    mesh.attributeComponents[1] = 2;
    // The message goes to standard output; send it where the death test looks.
    EXPECT_EXIT((dup2(2, 1), mesh.updateLayout()), ::testing::ExitedWithCode(1),
                "Error! Attrib type\\[1\\] = -1");
}

}  // namespace
