#include "MachineFixture.h"

using Bytes = std::vector<uint8_t>;

TEST_F(MachineTest, CuttingSpeedIsClampedToAByte)
{
    ASSERT_TRUE(machine->SetCuttingSpeed(300));
    EXPECT_EQ(LastCommand().data, Bytes{255});
    ASSERT_TRUE(machine->SetCuttingSpeed(-5));
    EXPECT_EQ(LastCommand().data, Bytes{0});
    ASSERT_TRUE(machine->SetCuttingSpeed(120));
    EXPECT_EQ(LastCommand().code, Cmd::SetCuttingSpeed);
    EXPECT_EQ(LastCommand().data, Bytes{120});
}

TEST_F(MachineTest, RefusedSystemNumbersSendNothing)
{
    AxisTriple origin{};
    int32_t offset = 0;
    EXPECT_FALSE(machine->GetWorkOrigin(60, origin));
    EXPECT_FALSE(machine->GetWorkOrigin(53, origin));
    EXPECT_FALSE(machine->GetExtraWorkOrigin(301, origin));
    EXPECT_FALSE(machine->GetExtraWorkOrigin(0, origin));
    EXPECT_FALSE(machine->SetWorkOrigin(60, origin));
    EXPECT_FALSE(machine->SetExtraWorkOrigin(301, origin));
    EXPECT_FALSE(machine->GetToolOffset(9, offset));
    EXPECT_FALSE(machine->SetToolOffset(0, 1));
    EXPECT_TRUE(link->log.empty());
}

TEST_F(MachineTest, NumberedCodesFollowTheirBase)
{
    AxisTriple origin{};
    link->SetReply32(0x3203, {1, 2, 3});
    link->SetReply32(0x3208, {4, 5, 6});
    link->SetReply32(0x3209, {7, 8, 9});
    link->SetReply32(0x3334, {10, 11, 12});
    ASSERT_TRUE(machine->GetWorkOrigin(54, origin));
    EXPECT_EQ(origin, (AxisTriple{1, 2, 3}));
    ASSERT_TRUE(machine->GetWorkOrigin(59, origin));
    EXPECT_EQ(origin, (AxisTriple{4, 5, 6}));
    ASSERT_TRUE(machine->GetExtraWorkOrigin(1, origin));
    EXPECT_EQ(origin, (AxisTriple{7, 8, 9}));
    ASSERT_TRUE(machine->GetExtraWorkOrigin(300, origin));
    EXPECT_EQ(origin, (AxisTriple{10, 11, 12}));

    ASSERT_TRUE(machine->SetWorkOrigin(59, origin));
    EXPECT_EQ(LastCommand().code, 59 + 0x3300);
    ASSERT_TRUE(machine->SetExtraWorkOrigin(300, origin));
    EXPECT_EQ(LastCommand().code, 300 + 13115);
    ASSERT_TRUE(machine->SetToolOffset(8, -25));
    EXPECT_EQ(LastCommand().code, 8 + 13434);
    link->SetReply32(1 + 13418, {-25});
    int32_t offset = 0;
    ASSERT_TRUE(machine->GetToolOffset(1, offset));
    EXPECT_EQ(offset, -25);
}

TEST_F(MachineTest, DistanceCorrectionInPartsPerMillion)
{
    // 500 ppm above nominal; a half rounds away from zero; a negative correction.
    link->SetReply32(Cmd::GetDistanceCorrection, {100050, 3, 999999, 100000, 2, 1000000});
    AxisTriple correction{};
    ASSERT_TRUE(machine->GetDistanceCorrection(correction));
    EXPECT_EQ(correction[0], 500);
    EXPECT_EQ(correction[1], 500000);
    EXPECT_EQ(correction[2], -1);

    ASSERT_TRUE(machine->SetDistanceCorrection({500, -20, 0}));
    EXPECT_EQ(LastCommand().data,
              link->Encode32({1000500, 999980, 1000000, 1000000, 1000000, 1000000}));
}

TEST(MulDiv, RoundsHalvesAwayFromZeroInSixtyFourBits)
{
    EXPECT_EQ(CModelingMachine::MulDiv(3, 1, 2), 2);
    EXPECT_EQ(CModelingMachine::MulDiv(-3, 1, 2), -2);
    EXPECT_EQ(CModelingMachine::MulDiv(3, 1, -2), -2);
    EXPECT_EQ(CModelingMachine::MulDiv(5, 1, 3), 2);
    EXPECT_EQ(CModelingMachine::MulDiv(2000000000, 1000000, 1000000000), 2000000);
    EXPECT_EQ(CModelingMachine::MulDiv(1, 1, 0), -1);
    EXPECT_EQ(CModelingMachine::MulDiv(2000000000, 2, 1), -1);
}

TEST_F(MachineTest, AutoPowerOffTimeTravelsRaw)
{
    Connect(true); // even with the other byte order the bytes are not converted
    link->replies[Cmd::GetAutoPowerOffTime] = {0x10, 0x0E, 0x00, 0x00};
    EXPECT_EQ(machine->GetAutoPowerOffTime(), 3600);
    ASSERT_TRUE(machine->SetAutoPowerOffTime(3600));
    EXPECT_EQ(LastCommand().data, (Bytes{0x10, 0x0E, 0x00, 0x00}));
    link->replies[Cmd::GetAutoPowerOffTime] = {};
    EXPECT_EQ(machine->GetAutoPowerOffTime(), -1);
}

TEST_F(MachineTest, SingleByteQueriesGiveMinusOneOnFailure)
{
    link->replies[Cmd::GetCuttingSpeedMode] = {1};
    link->replies[Cmd::GetAutoPowerOffFlag] = {2};
    link->replies[Cmd::GetSpindleUnit] = {5};
    EXPECT_EQ(machine->GetCuttingSpeedMode(), 1);
    EXPECT_EQ(machine->GetAutoPowerOffFlag(), 2);
    EXPECT_EQ(machine->GetSpindleUnit(), 5);
    link->replies.clear();
    link->replies[Cmd::GetCuttingSpeedMode] = {1, 2}; // longer reply: only one byte is read
    EXPECT_EQ(machine->GetCuttingSpeedMode(), 1);
    link->replies.clear();
    EXPECT_EQ(machine->GetCuttingSpeedMode(), -1);
}

TEST_F(MachineTest, FatalErrorIsSizedByTheReply)
{
    Connect(true);
    link->replies[Cmd::GetFatalError] = link->Encode16({0, 2, 0, 0, 0, 99});
    int16_t words[5] = {};
    ASSERT_TRUE(machine->GetFatalError(words));
    EXPECT_EQ(words[1], 2);
    link->replies[Cmd::GetFatalError] = link->Encode16({0, 134});
    int16_t shortWords[5] = {};
    ASSERT_TRUE(machine->GetFatalError(shortWords));
    EXPECT_EQ(shortWords[1], 134);
    EXPECT_EQ(shortWords[4], 0);
}

TEST_F(MachineTest, MovesCarryParameterZeroAndTarget)
{
    ASSERT_TRUE(machine->JogTo(-1, {1000, -2000, 3}));
    EXPECT_EQ(LastCommand().code, Cmd::JogTo);
    Bytes expected = link->Encode16({-1, 0});
    const Bytes targets = link->Encode32({1000, -2000, 3});
    expected.insert(expected.end(), targets.begin(), targets.end());
    EXPECT_EQ(LastCommand().data, expected);
    ASSERT_TRUE(machine->MoveTo(-1, {1000, -2000, 3}));
    EXPECT_EQ(LastCommand().code, Cmd::MoveTo);
    EXPECT_EQ(LastCommand().data, expected);
}

TEST_F(MachineTest, MotorLoadTestAndSpindleUnitLayouts)
{
    ASSERT_TRUE(machine->TestMotorLoadZ(90, -1, 2000));
    Bytes expected = link->Encode16({90, -1});
    const Bytes travel = link->Encode32({2000});
    expected.insert(expected.end(), travel.begin(), travel.end());
    EXPECT_EQ(LastCommand().code, Cmd::TestMotorLoadZ);
    EXPECT_EQ(LastCommand().data, expected);
    ASSERT_TRUE(machine->SelectSpindleUnit(3, 1));
    EXPECT_EQ(LastCommand().data, (Bytes{3, 1}));
    ASSERT_TRUE(machine->SetTestCutOption(7));
    EXPECT_EQ(LastCommand().data, Bytes{1});
}

TEST_F(MachineTest, SpindleRecordAndSettingsNeedTheirFullLength)
{
    Bytes record = link->Encode32({1, 7260});
    const Bytes tail = link->Encode16({1, 2, 3, 4});
    record.insert(record.end(), tail.begin(), tail.end());
    link->replies[Cmd::GetSpindleTime] = record;
    SpindleTimeRecord spindle;
    ASSERT_TRUE(machine->GetSpindleTime(spindle));
    EXPECT_EQ(spindle.seconds, 7260);
    link->replies[Cmd::GetSpindleUnitTime] = Bytes(record.begin(), record.begin() + 12);
    EXPECT_FALSE(machine->GetSpindleUnitTime(spindle));

    link->replies[Cmd::GetMachineSettings] = {9, 1, 2, 1, 0, 8};
    MachineSettings settings;
    ASSERT_TRUE(machine->GetMachineSettings(settings));
    EXPECT_EQ(settings.commandSet, 1);
    EXPECT_EQ(settings.byte5, 8);
    settings.commandSet = 2;
    ASSERT_TRUE(machine->SetMachineSettings(settings));
    EXPECT_EQ(LastCommand().data, (Bytes{9, 2, 2, 1, 0, 8}));
    link->replies[Cmd::GetMachineSettings] = {9, 1, 2};
    EXPECT_FALSE(machine->GetMachineSettings(settings));
}

TEST_F(MachineTest, PowerOffNeedsNoAcceptance)
{
    link->neverAccepts = true;
    ASSERT_TRUE(machine->PowerOff(0));
    EXPECT_EQ(LastCommand().code, Cmd::PowerOff);
    EXPECT_EQ(LastCommand().data, (Bytes{0, 0, 0, 0}));
    EXPECT_EQ(link->log.size(), 1u) << "no status is read";
}

TEST_F(MachineTest, ClearErrorFlagIsSentWithoutWaiting)
{
    link->neverAccepts = true;
    ASSERT_TRUE(machine->ClearErrorFlag());
    EXPECT_EQ(link->log.size(), 1u);
}
