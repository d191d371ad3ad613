// The INF reader and the matching from arbitrary bytes: no crash, every model has its install
// section and IDs, and every model's own hardware ID finds that model again with rank 0.
#include "catalogues/driver_match_rules.h"

#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string bytes = BytesAsText(data, size);
    for (const char* architecture : {"x86", "amd64"}) {
        std::vector<LibraryInf> library = {{"a.inf", ReadInfDriver(bytes, {architecture, 10, 0, 19045, 1})}};
        const DriverIdIndex index = IndexDriverIds(library);
        const std::vector<InfModel>& models = library[0].driver.models;
        for (size_t m = 0; m < models.size(); ++m) {
            Require(!models[m].ids.empty(), "a model line lists at least one ID");
            if (models[m].ids[0].empty()) continue;
            std::vector<DriverCandidate> ranked = RankDrivers({models[m].ids[0]}, {}, library, index);
            Require(!ranked.empty() && ranked[0].rank == 0, "a model's hardware ID matches with rank 0");
        }
        PlanDriverLoads(library, {0});
    }
    return 0;
}
