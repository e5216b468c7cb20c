#include "app/ModeMachine.h"

#include "app/Application.h"
#include "audio/MusicPlayer.h"
#include "base/AppActions.h"
#include "frontend/Frontend.h"
#include "games/MPlrGame.h"
#include "games/SPlrGame.h"

#include <new>

namespace App {

namespace {

bool KeyDown(int virtualKey) {
    return (GetAsyncKeyState(virtualKey) & 0x8000) != 0;
}

void ShowFrontendPage(const char* name) {
    Mode = FrontendMode;
    if (Frontend)
        Frontend->SwitchPage(name, 0.0f);
}

// Back in the front end after a game: menu music that has stopped starts again from its first track.
void RestartFrontendMusic() {
    Audio::MusicPlayer* music = Frontend ? Frontend->music : nullptr;
    if (music && music->playsRemaining == 0) {
        music->Stop();
        music->currentTrack = 0;
        music->playsRemaining = -1;
    }
}

void OnFrontendAction(int action) {
    switch (action) {
    case FrontendQuit:
        PostQuitMessage(0);
        break;
    case FrontendStartSplrGame:
        StartSplrGame();
        break;
    case FrontendResumeSplrGame:
        // Without a game to resume there would be nothing to show until the window closes: stay here.
        if (SplrGame)
            Mode = SplrGameMode;
        break;
    case FrontendRestartSplrGame:
        RestartSplrGame();
        break;
    case FrontendEndSplrGame:
        EndSplrGame();
        break;
    case FrontendStartMplrGame:
        StartMplrGame();
        break;
    case FrontendResumeMplrGame:
        if (MplrGame)
            Mode = MplrGameMode;
        break;
    case FrontendEndMplrGame:
        EndMplrGame();
        break;
    default:
        break;
    }
}

} // namespace

void RunFrame() {
    // Ctrl+X quits, but only while the program has the keyboard; the frame still runs.
    if (GetFocus() && KeyDown(VK_CONTROL) && KeyDown('X'))
        PostQuitMessage(0);

    // An action changes the mode for the next frame.
    switch (Mode) {
    case FrontendMode:
        if (!Frontend)
            break;
        // Paused games keep their music going; they do not tick the clock.
        if (SplrGame)
            SplrGame->Update(true);
        if (MplrGame)
            MplrGame->Update(true);
        OnFrontendAction(Frontend->Update());
        break;
    case SplrGameMode:
        if (!SplrGame)
            break;
        switch (SplrGame->Update(false)) {
        case GameEnd:
            EndSplrGame();
            break;
        case GamePause:
            PauseSplrGame();
            break;
        case GameMissionOver:
            ShowMissionEnd();
            break;
        default:
            break;
        }
        break;
    case MplrGameMode:
        if (!MplrGame)
            break;
        switch (MplrGame->Update(false)) {
        case GameEnd:
            EndMplrGame();
            break;
        case GamePause:
            PauseMplrGame();
            break;
        default:
            break;
        }
        break;
    default:
        break;
    }
}

void StartSplrGame() {
    // A game still held (paused) would otherwise be lost with everything it owns.
    delete SplrGame;
    SplrGame = new (std::nothrow) SPlr::Game(Frontend, Keyboard, Mouse, Joystick);
    Mode = SplrGameMode;
}

void RestartSplrGame() {
    delete SplrGame;
    SplrGame = nullptr;
    StartSplrGame();
}

void EndSplrGame() {
    delete SplrGame;
    SplrGame = nullptr;
    RestartFrontendMusic();
    Mode = FrontendMode;
}

void PauseSplrGame() {
    ShowFrontendPage("PageInSPlr");
}

void ShowMissionEnd() {
    ShowFrontendPage("PageEndMission");
}

void StartMplrGame() {
    delete MplrGame;
    MplrGame = new (std::nothrow) MPlr::Game(Frontend, Keyboard, Mouse, Joystick);
    Mode = MplrGameMode;
}

void EndMplrGame() {
    delete MplrGame;
    MplrGame = nullptr;
    RestartFrontendMusic();
    Mode = FrontendMode;
}

void PauseMplrGame() {
    ShowFrontendPage("PageInMPlr");
}

} // namespace App
