#include "tests/ui/LayoutFixture.h"

#include "ui/ProgramFont.h"

#include <QApplication>
#include <memory>

namespace {

// Owns the QApplication for the whole run, so that it is torn down before the process ends.
class ApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        // The caption tests measure in pixels; they only mean something at the 96 dpi the layout assumes.
        qputenv("QT_FONT_DPI", "96");
        qputenv("QT_QPA_PLATFORM", "offscreen");
        application_ = std::make_unique<QApplication>(argc_, argv_);
        ApplyProgramFont(*application_);
    }
    void TearDown() override { application_.reset(); }

private:
    int argc_ = 1;
    char name_[16] = "ui_layout_tests";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> application_;
};

[[maybe_unused]] ::testing::Environment* const kApplication =
    ::testing::AddGlobalTestEnvironment(new ApplicationEnvironment);

} // namespace
