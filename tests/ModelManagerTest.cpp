// Loading models by name from a "data" folder: resolved meshes, reloading a name,
// and the reports for absent files and names.
#include "TestSupport.h"
#include "models/Model.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A mesh as stored in a file: the position index is its only attribute.
Mesh storedMesh(const std::vector<float>& table, const std::vector<uint32_t>& positionOfVertex,
                const std::vector<uint16_t>& triangles) {
    Mesh mesh;
    mesh.attributeCount = 1;
    mesh.attributeTypes[0] = 1;
    mesh.attributeComponents[0] = 1;
    mesh.positionCount = static_cast<int>(table.size() / 3);
    mesh.positions = table;
    mesh.vertexCount = static_cast<int>(positionOfVertex.size());
    for (uint32_t p : positionOfVertex) {
        float slot;
        std::memcpy(&slot, &p, 4);
        mesh.vertexData.push_back(slot);
    }
    mesh.triangleCount = static_cast<int>(triangles.size() / 3);
    mesh.indices = triangles;
    mesh.updateLayout();
    return mesh;
}

// Runs each test inside a fresh folder that has its own "data".
class ModelFolder : public ::testing::Test {
protected:
    void SetUp() override {
        char cwd[4096];
        ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
        previous_ = cwd;
        folder_ = makeTempDir("models");
        ASSERT_EQ(mkdir((folder_ + "/data").c_str(), 0755), 0);
        ASSERT_EQ(chdir(folder_.c_str()), 0);
    }
    void TearDown() override { ASSERT_EQ(chdir(previous_.c_str()), 0); }

    std::string previous_, folder_;
    ModelManager models;
};

using ModelFolderDeathTest = ModelFolder;

TEST_F(ModelFolder, LoadResolvesEveryMeshAndReloadReplacesThem) {
    Model first;
    first.meshes.push_back(storedMesh({0, 0, 0, 1, 2, 3}, {1, 0, 1}, {0, 1, 2}));
    first.meshes.push_back(storedMesh({5, 5, 5}, {0}, {}));
    ASSERT_TRUE(writeAml(first, "data/thing.aml"));
    models.load("thing");
    Model& loaded = models.get("thing");
    ASSERT_EQ(loaded.meshes.size(), 2u);
    for (const Mesh& mesh : loaded.meshes) {
        EXPECT_EQ(mesh.positionCount, 0);
        EXPECT_EQ(mesh.attributeTypes[0], 0);
        EXPECT_EQ(mesh.stride, 3);
        EXPECT_EQ(mesh.vertexBuffer, kNoBuffer);
    }
    EXPECT_EQ(loaded.meshes[0].vertexData, (std::vector<float>{1, 2, 3, 0, 0, 0, 1, 2, 3}));
    EXPECT_EQ(loaded.meshes[1].vertexData, (std::vector<float>{5, 5, 5}));

    Model second;
    second.meshes.push_back(storedMesh({7, 8, 9}, {0, 0}, {}));
    ASSERT_TRUE(writeAml(second, "data/thing.aml"));
    models.load("thing");
    Model& again = models.get("thing");
    EXPECT_EQ(&again, &loaded);  // same entry, new contents
    ASSERT_EQ(again.meshes.size(), 1u);
    EXPECT_EQ(again.meshes[0].vertexData, (std::vector<float>{7, 8, 9, 7, 8, 9}));
    EXPECT_EQ(models.size(), 1u);
}

TEST_F(ModelFolderDeathTest, AbsentFilesAndNamesAreReported) {
    EXPECT_EXIT(models.load("nowhere"), ::testing::ExitedWithCode(1), "nowhere");
    EXPECT_EXIT(models.get("nowhere"), ::testing::ExitedWithCode(1),
                "No such model: 'nowhere'\\.");
    writeFileBytes("data/plain.aml", std::string("AML\x02\x01\x00\x00\x00", 8));
    EXPECT_EXIT(models.load("plain"), ::testing::ExitedWithCode(1),
                "File 'data/plain.aml' is truncated: 1 meshes announced");
}

}  // namespace
