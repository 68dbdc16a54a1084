// The published schema, the manual and the code name the same failure kinds,
// results and steps: a kind added in one place and not the others fails here.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <set>

#include <nlohmann/json.hpp>

#include "app/outcome.h"
#include "station/record.h"
#include "station/record_file.h"

namespace {

std::string Read(const std::string &relative)
{
    std::ifstream in(std::string(ZF_SOURCE_DIR) + "/" + relative);
    EXPECT_TRUE(in.good()) << relative;
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::set<std::string> Enum(const nlohmann::json &j)
{
    std::set<std::string> names;
    for (const auto &v : j)
        names.insert(v.get<std::string>());
    return names;
}

TEST(RecordSchema, FailureKindsResultsAndStepsAreTheCodesOwn)
{
    const nlohmann::json schema = nlohmann::json::parse(Read("docs/record.schema.json"));
    const nlohmann::json &props = schema["$defs"]["end"]["properties"];

    std::set<std::string> kinds = {""};
    for (int k = int(FailureKind::None) + 1; k <= int(FailureKind::Internal); ++k)
        kinds.insert(FailureKindName(FailureKind(k)));
    EXPECT_EQ(Enum(props["failure"]["properties"]["kind"]["enum"]), kinds);

    std::set<std::string> steps = {"total"};
    for (int s = int(WorkStep::OpenPort); s < int(WorkStep::Done); ++s)
        steps.insert(StepName(WorkStep(s)));
    EXPECT_EQ(Enum(props["seconds"]["propertyNames"]["enum"]), steps);

    const std::string manual = Read("docs/zflash.md"), record = Read("docs/record.md");
    for (const std::string &kind : kinds) {
        if (kind.empty())
            continue;
        EXPECT_NE(manual.find("`" + kind + "`"), std::string::npos) << kind << " is not in docs/zflash.md";
        EXPECT_NE(record.find("`" + kind + "`"), std::string::npos) << kind << " is not in docs/record.md";
    }
    for (const std::string &result : Enum(props["result"]["enum"]))
        EXPECT_NE(record.find("`" + result + "`"), std::string::npos) << result << " is not in docs/record.md";
}

}  // namespace
