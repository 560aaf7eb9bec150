// Parse throughput of CXmlDocument against pugixml on the same project-like
// document, and how building a document scales with its size.
#include "platform/TextCodec.h"
#include "xml/CXmlDocument.h"

#include <benchmark/benchmark.h>
#include <pugixml.hpp>

#include <cstdio>
#include <map>
#include <string>

namespace {

constexpr const char16_t* kKeys[] = {
    u"Border", u"BorderSpeed", u"Color1",     u"Color2",      u"Effect",        u"Flicker",
    u"Font",   u"FontBold",    u"FontItatic", u"FontSize",    u"FontUnderline", u"Select",
    u"Speed",  u"StopTime",    u"TempIndex",  u"TextContent", u"UseTemp"};

// A project file of about `targetBytes` UTF-8 bytes: screens of ten programs,
// each with its seventeen settings.
std::u16string projectDocument(size_t targetBytes) {
    CXmlDocument doc = CXmlDocument::withHeader(CXmlDocument::Header::Comment, u"QV");
    doc.EnterElement();
    for (int screen = 1; doc.GetDocText().size() < targetBytes; ++screen) {
        doc.AddElement(u"SCREEN");
        doc.SetAttribute(u"width", 48);
        doc.SetAttribute(u"height", 12);
        doc.SetAttribute(u"baseColor", 0);
        doc.SetAttribute(u"name", u"Screen_" + std::u16string(1, u'0' + screen % 10));
        doc.EnterElement();
        for (int program = 1; program <= 10; ++program) {
            doc.AddElement(u"Program");
            doc.SetAttribute(u"name", u"Program_1");
            doc.SetAttribute(u"checked", u"TRUE");
            for (const char16_t* a :
                 {u"OffsetX", u"OffsetY", u"StretchH", u"StretchV", u"PitchOffSet"})
                doc.SetAttribute(a, 0);
            doc.SetAttribute(u"AutoAdjust", 1);
            doc.EnterElement();
            for (const char16_t* key : kKeys) {
                doc.AddElement(u"Item", key == std::u16string_view(u"TextContent")
                                            ? u"Welcome [FE] to the <shop> & caf\u00E9 \u4E2D\u6587"
                                            : u"12");
                doc.SetAttribute(u"name", key);
            }
            doc.LeaveElement();
        }
        doc.LeaveElement();
    }
    doc.LeaveElement();
    return doc.GetDocText();
}

const std::u16string& document() {
    static const std::u16string text = projectDocument(5'000'000);
    return text;
}

const std::string& documentUtf8() {
    static const std::string bytes = platform::utf16ToUtf8(document());
    return bytes;
}

void BM_ParseCXmlDocument(benchmark::State& state) {
    const std::u16string& text = document();
    for (auto _ : state) {
        CXmlDocument doc;
        bool ok = doc.SetText(text);
        benchmark::DoNotOptimize(ok);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * documentUtf8().size()));
}

void BM_ParsePugixml(benchmark::State& state) {
    const std::string& bytes = documentUtf8();
    for (auto _ : state) {
        pugi::xml_document doc;
        pugi::xml_parse_result r = doc.load_buffer(bytes.data(), bytes.size());
        benchmark::DoNotOptimize(r.status);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

// Builds a project-like document of `elements` elements the way the writers do:
// a program, then its items inside it.
void BM_Build(benchmark::State& state) {
    const int64_t elements = state.range(0);
    for (auto _ : state) {
        CXmlDocument doc = CXmlDocument::withHeader(CXmlDocument::Header::Comment, u"QV");
        doc.EnterElement();
        for (int64_t made = 1; made < elements;) {
            doc.AddElement(u"Program");
            doc.SetAttribute(u"name", u"Program_1");
            ++made;
            for (int i = 0; i < 9 && made < elements; ++i, ++made) {
                doc.AddChildElement(u"Item", u"value");
                doc.SetChildAttribute(u"name", u"TextContent");
            }
        }
        doc.LeaveElement();
        benchmark::DoNotOptimize(doc.GetDocText().data());
    }
    state.SetItemsProcessed(state.iterations() * elements);
}

BENCHMARK(BM_ParseCXmlDocument)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParsePugixml)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Build)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

// Keeps the time per iteration of every run, to print the ratios at the end.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Iteration)
                m_seconds[r.benchmark_name()] =
                    r.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(r.time_unit);
    }
    double seconds(const std::string& name) const {
        auto it = m_seconds.find(name);
        return it == m_seconds.end() ? 0 : it->second;
    }

private:
    std::map<std::string, double> m_seconds;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    std::printf("document: %zu bytes of UTF-8, %zu UTF-16 code units\n", documentUtf8().size(),
                document().size());
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double ours = reporter.seconds("BM_ParseCXmlDocument");
    const double pugi = reporter.seconds("BM_ParsePugixml");
    if (ours > 0 && pugi > 0)
        std::printf("parse throughput CXmlDocument / pugixml: %.2f (goal: at least 0.50)\n",
                    pugi / ours);
    const double small = reporter.seconds("BM_Build/1000");
    const double large = reporter.seconds("BM_Build/10000");
    if (small > 0 && large > 0)
        std::printf("build time 10000 / 1000 elements: %.2f (goal: at most 12)\n", large / small);
    benchmark::Shutdown();
    return 0;
}
