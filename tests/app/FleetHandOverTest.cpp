#include "PanelFixture.h"

#include "app/FleetWindow.h"
#include "tests/testkit/EventLoopWait.h"
#include "tests/testkit/PacedTransponder.h"

#include <QTableView>

// A double-click hands a fleet row to the panel: the fleet lets go of the
// port before the panel opens it, the port the panel held goes back to the
// fleet, and the row shows the panel's own values meanwhile.
TEST_F(PanelTest, FleetRowDoubleClickedGoesToThePanelAndItsPortBackToTheFleet)
{
    PtyPair second;
    ports.map(2, second.slavePath());
    PacedTransponder transponder(second.master(), {{'a', "a=1000"}, {'c', "c=4721"}, {'f', "f=1.2"}, {'i', "i=0"},
                                                   {'r', "r=Y"}, {'s', "s=t"}, {'v', "v=27.9"}, {'o', "o=1532"},
                                                   {'u', "u=0"}, {'n', "n=04172"}, {'l', "l=0"}, {'d', "d=g"},
                                                   {'z', "z=2.14"}, {'e', "e=0"}});
    form->mnuFleet->trigger();
    FleetWindow* fleet = form->Fleet();
    ASSERT_NE(fleet, nullptr);
    links::FleetModel& model = fleet->model();
    ASSERT_TRUE(fleet->addPort(1));
    ASSERT_TRUE(fleet->addPort(2));
    ASSERT_TRUE(runUntil([&] { return model.text(1, links::FleetModel::Code) == "4721"; }, 5000));

    const auto doubleClick = [&](int row) {
        emit fleet->table().doubleClicked(model.index(row, links::FleetModel::Code));
        ASSERT_TRUE(serveWhatIsQueued());
    };
    const struct Step {
        int row;
        sPorts panelPort;
        int otherRow;
    } steps[] = {{1, 2, 0}, {0, 1, 1}};
    for (const Step& step : steps) {
        SCOPED_TRACE(step.row);
        doubleClick(step.row);
        EXPECT_TRUE(form->SerialComm->Active());
        EXPECT_EQ(form->SerialComm->Port(), step.panelPort);
        EXPECT_TRUE(model.heldByPanel(step.row));
        EXPECT_EQ(model.link(step.row).phase(), links::PolledLink::Phase::Closed);
        EXPECT_EQ(model.text(step.row, links::FleetModel::Port), QStringLiteral("COM%1 · panel").arg(step.panelPort));
        EXPECT_FALSE(model.heldByPanel(step.otherRow));
        EXPECT_TRUE(model.link(step.otherRow).running());
    }
    // COM2 came back to the fleet when the panel took COM1.
    ASSERT_TRUE(runUntil([&] { return model.link(1).phase() == links::PolledLink::Phase::Polling; }, 5000));
    reply("c=0346");
    idle();
    ASSERT_TRUE(runUntil([&] { return model.text(0, links::FleetModel::Code) == "0346"; }, 3000));
    click("btnConnect"); // the operator disconnects: the port returns
    EXPECT_FALSE(model.heldByPanel(0));
    EXPECT_TRUE(model.link(0).running());
}
