#pragma once
// Collects what QAbstractItemModelTester reports while a test runs, so a
// broken model contract fails the test instead of scrolling past as a warning.

#include <QAbstractItemModelTester>
#include <QString>
#include <QStringList>

#include <memory>

namespace orv::ui::test {

class ModelTesterGuard {
public:
    explicit ModelTesterGuard(QAbstractItemModel* model) {
        s_reports.clear();
        s_previous = qInstallMessageHandler(&ModelTesterGuard::Collect);
        m_tester = std::make_unique<QAbstractItemModelTester>(
            model, QAbstractItemModelTester::FailureReportingMode::Warning);
    }
    ~ModelTesterGuard() {
        m_tester.reset();
        qInstallMessageHandler(s_previous);
    }
    ModelTesterGuard(const ModelTesterGuard&) = delete;
    ModelTesterGuard& operator=(const ModelTesterGuard&) = delete;

    static QStringList Reports() { return s_reports; }

private:
    static void Collect(QtMsgType type, const QMessageLogContext& context, const QString& text) {
        if (type != QtDebugMsg && QString::fromLatin1(context.category) == "qt.modeltest") {
            s_reports.append(text);
        } else if (s_previous != nullptr) {
            s_previous(type, context, text);
        }
    }

    inline static QStringList s_reports;
    inline static QtMessageHandler s_previous = nullptr;
    std::unique_ptr<QAbstractItemModelTester> m_tester;
};

} // namespace orv::ui::test
