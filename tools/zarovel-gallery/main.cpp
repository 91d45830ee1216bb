// zarovel-gallery GAME_DIR OUT_DIR: renders every screen of the game and a contact sheet
// of every picture into PNG files, so the art can be reviewed at once.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/Application.h"
#include "engine/PngFile.h"
#include "engine/platform/headless/HeadlessPlatform.h"
#include "game/Form1.h"
#include "state/Settings.h"
#include "ui/MenuWidgets.h"

namespace fs = std::filesystem;

namespace {

class Gallery {
 public:
  Gallery(const std::string& gameDir, fs::path out) : out_(std::move(out)), application_(platform_) {
    platform_.OpenWindow("Zarovel", 800, 600);
    form_ = std::make_unique<TForm1>(application_, gameDir, 1);
    form_->Load();
  }

  GameGlobals& G() { return form_->G; }
  TSprite* Engine() { return form_->DXSpriteEngine1.Engine(); }
  TPictureCollection& Menu() { return form_->DXImageList1.Items; }
  TPictureCollection& Play() { return form_->GameImgs.Items; }

  // Draws one frame and saves it.
  void Shot(const std::string& name) {
    now_ += 20;
    platform_.SetTime(now_);
    application_.Idle();
    WritePng((out_ / (name + ".png")).string(), platform_.LastFrame());
  }

  // Removes every sprite but the ones start-up made.
  void Clear() {
    TSpriteEngine& engine = *form_->DXSpriteEngine1.Engine();
    for (int i = 0; i < engine.Count(); ++i) {
      TSprite* s = engine.Items(i);
      if (s != G().SendCheckBox) s->Kill();
    }
    engine.Purge();
  }

  // A still picture of the play screen: one of each kind where it would be seen.
  TImageSprite* Put(TPictureCollection& pictures, const std::string& name, double x, double y, int z = 0,
                    int pattern = 0) {
    auto* sprite = new TImageSprite(Engine());
    sprite->ImageItem = &pictures.FindItem(name);
    sprite->Width = sprite->ImageItem->PatternWidth;
    sprite->Height = sprite->ImageItem->PatternHeight;
    sprite->X = x, sprite->Y = y;
    sprite->FrameStart = pattern;
    sprite->AssignZ(z);
    return sprite;
  }

  // Every pattern of every picture of one archive on sheets with their names.
  void ContactSheets(TPictureCollection& pictures, const std::string& stem) {
    int sheet = 0, x = 4, y = 4, rowHeight = 0;
    Surface page(800, 600);
    const auto flush = [&] {
      WritePng((out_ / (stem + "-" + std::to_string(++sheet) + ".png")).string(), page);
      page = Surface(800, 600);
      x = 4, y = 4, rowHeight = 0;
    };
    std::fill(page.Pixels.begin(), page.Pixels.end(), RGB(60, 60, 70));
    for (int i = 0; i < pictures.Count(); ++i) {
      TPictureCollectionItem& item = pictures.Items(i);
      for (int p = 0; p < item.NumPatterns(); ++p) {
        const int w = std::max(item.CellWidth(), 60), h = item.CellHeight() + 14;
        if (x + w > 800) x = 4, y += rowHeight + 4, rowHeight = 0;
        if (y + h > 600 && (x > 4 || y > 4)) {
          flush();
          std::fill(page.Pixels.begin(), page.Pixels.end(), RGB(60, 60, 70));
        }
        item.DrawPattern(page, x, y + 14, p);
        platform_.DrawText(page, x, y, item.Name + " " + std::to_string(p), {"Arial", 7, false, RGB(255, 255, 255)});
        x += w + 4;
        rowHeight = std::max(rowHeight, h);
      }
    }
    flush();
  }

 private:
  fs::path out_;
  platform::HeadlessPlatform platform_;
  TApplication application_;
  std::unique_ptr<TForm1> form_;
  uint32_t now_ = 0;
};

void MenuScreens(Gallery& g) {
  const struct {
    const char* image;
    uint16_t y;
  } buttons[] = {{"Start", 166}, {"Opt", 221}, {"HScores", 283}, {"Help", 340}, {"Visit", 403}, {"Exit", 462}};
  for (int selected = 0; selected < 6; ++selected) {
    g.Clear();
    new TFon(g.Engine(), g.Menu(), "FonMenu");
    for (int i = 0; i < 6; ++i) {
      auto* b = new TMenuB(g.Engine(), g.Menu(), 240, buttons[i].y, buttons[i].image);
      b->Selected = i == selected;
    }
    g.G().GameState = "Menu";
    g.Shot("menu-" + std::to_string(selected + 1));
  }
  g.G().GameState = "Exit?";
  g.G().Selection = 1;
  new TAsk(g.Engine(), g.Menu(), "Qtns");
  g.Shot("question-exit");
}

void SubScreens(Gallery& g) {
  // Options: every row selected in turn; the name being edited.
  g.Clear();
  new TFon(g.Engine(), g.Menu(), "FonMenu");
  new TFonB(g.Engine(), g.Menu(), "FonOpt");
  auto* back = new TMenuB(g.Engine(), g.Menu(), 217, 441, "OptBack");
  g.G().GameState = "Options";
  g.G().Settings.PlayerName.Set("Tebrik");
  for (int row = 1; row <= 5; ++row) {
    g.G().Selection = uint8_t(row);
    back->Selected = row == 5;
    g.G().NameEditing = row == 4;
    g.Shot("options-" + std::to_string(row));
  }
  g.G().NameEditing = false;

  g.Clear();
  new TFon(g.Engine(), g.Menu(), "FonMenu");
  new TFonB(g.Engine(), g.Menu(), "FonHScr");
  (new TMenuB(g.Engine(), g.Menu(), 216, 433, "Clear"))->Selected = true;
  new TMenuB(g.Engine(), g.Menu(), 216, 481, "World");
  new TMenuB(g.Engine(), g.Menu(), 217, 529, "HScrBack");
  g.G().GameState = "HiScores";
  g.Shot("scores");
  g.G().GameState = "Clear?";
  g.G().Selection = 2;
  new TAsk(g.Engine(), g.Menu(), "Qtns");
  g.Shot("question-clear");

  for (int page = 1; page <= 6; ++page) {
    g.Clear();
    new TFon(g.Engine(), g.Menu(), "FonMenu");
    new TFonB(g.Engine(), g.Menu(), "FonHelp");
    new TMenuB(g.Engine(), g.Menu(), 216, 433, "Previos");
    (new TMenuB(g.Engine(), g.Menu(), 493, 433, "Next"))->Selected = true;
    new TMenuB(g.Engine(), g.Menu(), 217, 481, "HlpBack");
    new THlp(g.Engine(), g.Menu(), page);
    g.G().GameState = "Help";
    g.Shot("help-" + std::to_string(page));
  }
}

// The play screen's background, ground and health bars, on an otherwise empty field.
void PlayField(Gallery& g) {
  g.Clear();
  new TFon(g.Engine(), g.Menu(), "FonGame");
  new TNiz(g.Engine(), g.Play());
  g.Put(g.Play(), "Polosa1", 48, 576, -1);
  g.Put(g.Play(), "Polosa2", 199, 576, -1);
}

void PlayScreens(Gallery& g) {
  PlayField(g);
  g.Put(g.Play(), "BunkerV1", 323, 289, -2);
  g.Put(g.Play(), "BunkerN1", 323, 355, -2);
  g.Put(g.Play(), "PlayerR", 120, 445, 1);
  g.Put(g.Play(), "ShtrR", 600, 60);
  g.Put(g.Play(), "BombL", 40, 110);
  g.Put(g.Play(), "TrR", 520, 150);
  g.Put(g.Play(), "VertL", 250, 190);
  g.Put(g.Play(), "ReaktR", 660, 230);
  g.Put(g.Play(), "DTrL", 80, 20);
  g.Put(g.Play(), "EL", 450, 250, 0, 1);
  g.Put(g.Play(), "ER2", 600, 455);
  g.Put(g.Play(), "SObjs", 230, 470);
  g.Put(g.Play(), "Vzriv", 380, 120, 5, 3);
  for (int i = 1; i <= 3; ++i) g.Put(g.Play(), "Life", 345 + 30 * i, 10, 10);
  const int panelX[] = {506, 541, 589, 629, 661, 698, 749}, panelY[] = {557, 555, 558, 555, 557, 556, 561};
  for (int k = 0; k < 7; ++k) g.Put(g.Play(), "PanelWeap" + std::to_string(k + 1), panelX[k], panelY[k], 2);
  g.G().GameState = "Game";
  g.G().Level = 1;
  g.G().Score = 27182 ^ 1250u;
  g.Shot("play");
  g.G().GameState = "ExitGame?";
  g.G().Selection = 2;
  new TAsk(g.Engine(), g.Menu(), "Qtns");
  g.Shot("question-exit-game");
  g.G().GameState = "EnterName";
  g.G().Selection = 1;
  g.G().EntryName.Set("Tebrik");
  g.G().SendCheckBox->Shown = true;
  g.G().Settings.SendScore = 1;
  g.Shot("enter-name");
  g.G().GameState = "GameOver";
  g.Put(g.Play(), "ScrDie", 359, 115, 10);
  g.Shot("game-over");
}

// The lowest ground, by the bottom panel: a bomb's burst in each of its later patterns, and
// a landed bonus beside its blink pattern.
void GroundBursts(Gallery& g) {
  PlayField(g);
  for (int pattern = 3; pattern <= 9; ++pattern) g.Put(g.Play(), "Vzriv", 40 + 70 * (pattern - 3), 490, 5, pattern);
  g.Put(g.Play(), "SObjs", 560, 470, 0, 0);
  g.Put(g.Play(), "SObjs", 600, 470, 0, 20);
  g.G().GameState = "Game";
  g.G().Level = 1;
  g.Shot("play-ground-bursts");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: zarovel-gallery GAME_DIR OUT_DIR\n");
    return 2;
  }
  std::string gameDir = argv[1];
  if (gameDir.back() != '/') gameDir += '/';
  try {
    fs::create_directories(argv[2]);
    Gallery gallery(gameDir, argv[2]);
    MenuScreens(gallery);
    SubScreens(gallery);
    PlayScreens(gallery);
    GroundBursts(gallery);
    gallery.ContactSheets(gallery.Menu(), "sheet-menu");
    gallery.ContactSheets(gallery.Play(), "sheet-game");
  } catch (const std::exception& error) {
    std::fprintf(stderr, "zarovel-gallery: %s\n", error.what());
    return 1;
  }
  std::printf("gallery written to %s\n", argv[2]);
  return 0;
}
