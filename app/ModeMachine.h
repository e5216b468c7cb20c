// One frame of whatever the program is doing: the front end, a single-player or a multiplayer game.
#pragma once

namespace App {

// Called by the message loop whenever no message waits.
void RunFrame();

void StartSplrGame();
void RestartSplrGame();
void EndSplrGame();
void PauseSplrGame();
void ShowMissionEnd();
void StartMplrGame();
void EndMplrGame();
void PauseMplrGame();

} // namespace App
