// LibreOffice Calc opens the CSV files orvantix-cli writes for simulated
// cameras that name themselves like formulas, in the lab: discover's list
// on standard output and in its --results file, a job's results on
// standard output and in its --results file, and the passwords file. No
// cell is a formula and each name is a text cell that shows the name
// behind the tool's guard apostrophe (a terminal's escapes on standard
// output). Needs root and soffice; skipped otherwise.

#include "CalcSheet.h"
#include "CliLab.h"

#include <fstream>
#include <set>

namespace {

class CliCalcLab : public CliLab {
protected:
    // One camera per hostile name, with that name.
    void SetUp() override {
        if (!calc::Present()) {
            GTEST_SKIP() << "soffice (Debian: libreoffice-calc-nogui) is not installed; "
                            "scripts/install-deps.sh installs it";
        }
        CliLab::SetUp();
        if (IsSkipped() || HasFatalFailure()) {
            return;
        }
        m_lab.stopSimulator();
        nlohmann::json state = m_lab.state();
        for (std::size_t i = 0; i < calc::HostileNames().size(); ++i) {
            state["cameras"][i]["name"] = calc::HostileNames()[i].name;
        }
        m_lab.writeState(state);
        ASSERT_EQ(m_lab.startSimulator(simulatorConfig()), "");
    }
    nlohmann::json simulatorConfig() const override {
        nlohmann::json config = CliLab::simulatorConfig();
        config["cameras"] = calc::HostileNames().size();
        config.erase("cameras_override");
        return config;
    }
};

} // namespace

TEST_F(CliCalcLab, EveryCsvFileOfTheCommandLineShowsHostileNamesAsText) {
    const Ran listed =
        cli({"discover", "--seconds", "1", "--format", "csv", "--results", m_dir + "/list.csv"});
    ASSERT_EQ(listed.status, 0) << listed.err;
    std::ofstream(m_dir + "/list-stdout.csv") << listed.out;
    const Ran rotated = cli({"passwords", "--rotate", "--out", m_dir + "/secrets.csv", "--format",
                             "csv", "--results", m_dir + "/results.csv"});
    ASSERT_EQ(rotated.status, 0) << rotated.err;
    std::ofstream(m_dir + "/results-stdout.csv") << rotated.out;

    const struct {
        const char* file;
        const char* header;
        std::string calc::HostileName::*shown;
    } files[] = {
        {"list-stdout.csv", "name", &calc::HostileName::screen},
        {"list.csv", "name", &calc::HostileName::file},
        {"results-stdout.csv", "Device Name", &calc::HostileName::screen},
        {"results.csv", "Device Name", &calc::HostileName::file},
        {"secrets.csv", "name", &calc::HostileName::file},
    };
    std::vector<std::string> paths;
    for (const auto& f : files) {
        paths.push_back(m_dir + "/" + f.file);
    }
    const calc::Conversion converted = calc::Convert(paths, m_dir + "/calc");
    ASSERT_EQ(converted.error, "");
    std::printf("soffice converted %zu files in %.2f s\n", paths.size(), converted.seconds);
    for (std::size_t i = 0; i < paths.size(); ++i) {
        EXPECT_EQ(calc::Problems(converted.sheets[i], files[i].header, calc::HostileNames(),
                                 files[i].shown),
                  std::vector<std::string>{})
            << files[i].file;
    }
    // The passwords reached the cameras and the file in its password column.
    const calc::Sheet& secrets = converted.sheets.back();
    const int password = secrets.Column("password");
    ASSERT_GE(password, 0);
    std::set<std::string> inFile;
    for (std::size_t r = 1; r < secrets.rows.size(); ++r) {
        inFile.insert(secrets.rows[r][static_cast<std::size_t>(password)].shown);
    }
    std::set<std::string> onCameras;
    for (const nlohmann::json& c : cameras()) {
        onCameras.insert(c["password"].get<std::string>());
    }
    EXPECT_EQ(inFile, onCameras);
}
