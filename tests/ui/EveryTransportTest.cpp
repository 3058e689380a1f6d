// The same instrument state gives the same main window over every transport pinwright-sim serves.
// The VXI-11 resource finds its core channel through the portmapper on port 111, as on a real network,
// so this test serves port 111 itself, as root, in a network namespace of its own
// (tests/support/own-network).

#include "protocol/Vxi11Messages.h"
#include "sim/HislipServer.h"
#include "sim/PortmapServer.h"
#include "sim/SocketServer.h"
#include "sim/Vxi11Server.h"
#include "tests/support/GuiFixture.h"
#include "tests/support/PortArrangement.h"
#include "ui/frmDigi.h"

#include <QCheckBox>

namespace {

// Everything a user sees of the port in the main window, as one text.
QString Snapshot(frmDigi& w) {
    QStringList parts;
    for (auto* list : w.findChildren<QComboBox*>(Qt::FindChildrenRecursively))
        parts << list->objectName() + "=" + list->currentText();
    for (auto* option : w.findChildren<QRadioButton*>(Qt::FindChildrenRecursively))
        parts << option->objectName() + (option->isChecked() ? "=on" : "=off");
    parts << QStringLiteral("frmPin2=%1 frmFault2=%2")
                 .arg(w.ui.frmPin2->isVisible())
                 .arg(w.ui.frmFault2->isVisible());
    parts.sort();
    return parts.join(' ');
}

const PortArrangement kArranged{.functions = {{1, "FAUL"}, {3, "INH"}, {5, "OFFC"}, {7, "TINP"}},
                                .polarities = {{1, "NEG"}, {6, "NEG"}},
                                .outputWord = 0x55,
                                .inhibitMode = "LATC"};

using EveryTransport = GuiTest;

TEST_F(EveryTransport, GivesTheSameMainWindow) {
    sim::Mainframe served;
    served.setState(kArranged.over(served.state()));
    sim::SocketServer socket(served);
    sim::Vxi11Server vxi11(served);
    sim::HislipServer hislip(served);
    std::unique_ptr<sim::PortmapServer> portmapper;
    try {
        portmapper = std::make_unique<sim::PortmapServer>("127.0.0.1", protocol::kPortmapPort);
    } catch (const std::exception& error) {
        FAIL() << error.what()
               << ": the VXI-11 resource needs the portmapper on port 111 (run as root, no rpcbind)";
    }
    portmapper->registerProgram(protocol::kVxi11CoreProgram, protocol::kVxi11CoreVersion,
                                protocol::kIpProtoTcp, vxi11.port());
    mainframe().setState(kArranged.over(mainframe().state()));

    dialog->ui.IOtxt->setText(QStringLiteral("SIM6::INSTR"));
    const QString expected = Snapshot(Connect());
    EXPECT_TRUE(expected.contains("cmbPin1=Fault")) << expected.toStdString();
    EXPECT_TRUE(expected.contains("optLatch=on"));

    const std::string resources[] = {
        "TCPIP0::127.0.0.1::" + std::to_string(socket.port()) + "::SOCKET",
        "TCPIP0::127.0.0.1::INSTR",
        "TCPIP0::127.0.0.1::hislip0," + std::to_string(hislip.port()) + "::INSTR",
    };
    for (const std::string& resource : resources) {
        Click(dialog->mainWindow()->ui.cmdConnect);
        Settle();
        served.traffic().clear();
        dialog->ui.IOtxt->setText(QString::fromStdString(resource));
        frmDigi& w = Connect();
        EXPECT_EQ(Snapshot(w), expected) << resource;
        EXPECT_TRUE(boxes.seen().empty()) << resource;
        EXPECT_EQ(served.traffic().received().size(), 17u)
            << resource << ": *IDN? and the sixteen load queries";
    }
}

} // namespace
