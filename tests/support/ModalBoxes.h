#pragma once

// Answers the program's modal message boxes during a GUI test: records what each one showed and
// presses its OK button, so a test can click a real button and then check the messages.

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <vector>

struct SeenBox {
    QString title;
    QString text;
    QStringList buttons;
    int icon = -1;
    int textFormat = -1;
};

class ModalBoxes : public QObject {
public:
    // A test never needs more; a handler that keeps opening boxes is a fault, not a reason to hang.
    static constexpr int kMaxBoxes = 200;

    ModalBoxes();

    const std::vector<SeenBox>& seen() const { return seen_; }
    QStringList texts() const;
    void clear() { seen_.clear(); }

private:
    void answer();

    QTimer timer_;
    std::vector<SeenBox> seen_;
};
