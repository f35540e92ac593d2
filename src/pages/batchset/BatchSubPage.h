#pragma once
// A sub-page of the Batch Set page. The page fills each from the selected
// camera, enables or disables their Save buttons together, and tells them
// when checked mode or the checked set changes.

#include "qvsp/QvspTypes.h"

#include <QWidget>

#include <vector>

class CBatchSubPage : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;

    virtual void SetLanguageText() {}
    // Reads what this sub-page shows from the camera with the given login
    // handle (which may be -1: the reads then fail and the fields stay).
    virtual void LoadFromDevice(const tagQvIpcInfo& device, int handle);
    // The checked devices in list order, after a check mark changed.
    virtual void CheckedSetChanged(const std::vector<tagQvIpcInfo>& checked);
    virtual void SetSaveEnabled(bool enabled);
    virtual void SetCheckedMode(bool on);

protected:
    // Enter and Escape do nothing here: the main window must neither close
    // nor press a default button while someone edits a camera's settings.
    void keyPressEvent(QKeyEvent* event) override;
};
