// Sound items and their voice rule, the name-indexed collection, the sound archive reader
// and the sound list.
#include "engine/WaveCollection.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "engine/ComponentStream.h"
#include "engine/DXSound.h"
#include "engine/TextCompare.h"

namespace {

void Record(const TWaveCollection& owner, const std::string& what) {
  if (owner.DXSound()) owner.DXSound()->Platform().Record("sound", what);
}

void ReadItemProperty(TComponentReader& r, TWaveCollectionItem& item) {
  const std::string name = r.ShortString();
  const TValueType type = r.ReadValueType();
  if (SameText(name, "Name")) {
    if (type == TValueType::Ident || type == TValueType::Binary) ThrowInvalidFormat();
    item.Name = r.ReadString(type);
  } else if (SameText(name, "Looped")) {
    item.SetLooped(r.ReadBool(type));
  } else if (SameText(name, "MaxPlayingCount")) {
    if (type != TValueType::Int8 && type != TValueType::Int16 && type != TValueType::Int32) ThrowInvalidFormat();
    item.SetMaxPlayingCount(int(r.ReadInteger(type)));
  } else if (SameText(name, "Wave.WAVE")) {
    item.Wave = TWave::FromRiff(r.ReadBinary(type));
  } else {
    ThrowUnknownProperty(name);
  }
}

}  // namespace

// --- TWaveCollectionItem

void TWaveCollectionItem::SetLooped(bool looped) {
  if (looped == looped_) return;
  StopVoices();
  looped_ = looped;
}

void TWaveCollectionItem::SetMaxPlayingCount(int count) {
  count = std::max(count, 0);
  if (count == maxPlayingCount_) return;
  maxPlayingCount_ = count;
  if (prepared_) voices_.clear();
}

void TWaveCollectionItem::SetFrequency(int hz) {
  frequency_ = hz;
  if (prepared_ && mainVoice_) mainVoice_->SetFrequency(hz);
}

void TWaveCollectionItem::SetPan(int value) {
  pan_ = value;
  if (prepared_ && mainVoice_) mainVoice_->SetPan(value);
}

void TWaveCollectionItem::SetSoundVolume(int value) {
  volume_ = value;
  if (prepared_ && mainVoice_) mainVoice_->SetVolume(value);
}

bool TWaveCollectionItem::MakeMainVoice() {
  if (!mainVoice_) {
    if (!owner_.DXSound()) return false;
    mainVoice_ = owner_.DXSound()->MakeVoice(Wave);
    if (!mainVoice_) return false;
    mainVoice_->SetFrequency(frequency_);
    mainVoice_->SetPan(pan_);
    mainVoice_->SetVolume(volume_);
  }
  return true;
}

void TWaveCollectionItem::Prepare() {
  Unprepare();
  MakeMainVoice();  // when this raises, the item stays unprepared and silent
  prepared_ = true;
}

void TWaveCollectionItem::Unprepare() {
  voices_.clear();
  mainVoice_.reset();
  prepared_ = false;
}

void TWaveCollectionItem::PlaySound(bool wait) {
  Record(owner_, Name);
  if (!prepared_) return;
  if (looped_) {
    if (!MakeMainVoice()) return;
    mainVoice_->Stop();
    mainVoice_->Rewind();
    mainVoice_->Play(true);
    return;
  }
  auto idle = std::find_if(voices_.begin(), voices_.end(), [](const auto& voice) { return !voice->Playing(); });
  TSoundVoice* voice = nullptr;
  if (idle != voices_.end()) {
    voice = idle->get();
  } else if (maxPlayingCount_ == 0 || int(voices_.size()) < maxPlayingCount_) {
    if (!mainVoice_) return;
    voices_.push_back(std::make_unique<TSoundVoice>(*mainVoice_));
    voice = voices_.back().get();
  } else {
    // The oldest copy is cut short and becomes the newest.
    std::rotate(voices_.begin(), voices_.begin() + 1, voices_.end());
    voice = voices_.back().get();
  }
  voice->Stop();
  voice->Rewind();
  voice->SetFrequency(frequency_);
  voice->SetPan(pan_);
  voice->SetVolume(volume_);
  voice->Play(false);
  while (wait && voice->Playing()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

void TWaveCollectionItem::StopSound() {
  Record(owner_, "stop " + Name);
  if (prepared_) StopVoices();
}

void TWaveCollectionItem::StopVoices() {
  if (mainVoice_) mainVoice_->Stop();
  for (const auto& voice : voices_) voice->Stop();
}

// --- TWaveCollection

TWaveCollection::~TWaveCollection() { Clear(); }

TWaveCollectionItem& TWaveCollection::FindItem(const std::string& name) {
  TWaveCollectionItem* item = Find(name);
  if (!item) throw EWaveCollectionError("Wave '" + name + "' not found");
  return *item;
}

void TWaveCollection::LoadArchive(const std::string& fileName) { LoadFromMemory(ReadArchiveFile(fileName)); }

void TWaveCollection::LoadFromMemory(std::span<const uint8_t> data) {
  Clear();
  TComponentReader r(data);
  r.ReadRoot([&](const std::string& name, TValueType type) {
    if (!SameText(name, "List")) ThrowUnknownProperty(name);
    r.ReadCollection(type, [&] {
      TWaveCollectionItem& item = Add();
      while (!r.EndOfList()) ReadItemProperty(r, item);
    });
  });
  if (Initialized()) PrepareAll();
}

void TWaveCollection::SetDXSound(TDXSound* dxsound) {
  if (dxsound == dxsound_) return;
  UnprepareAll();
  dxsound_ = dxsound;
}

bool TWaveCollection::Initialized() const { return dxsound_ && dxsound_->Initialized(); }

void TWaveCollection::PrepareAll() {
  if (!Initialized()) return;
  for (auto& item : items_) item->Prepare();
}

void TWaveCollection::UnprepareAll() {
  for (auto& item : items_) item->Unprepare();
}

// --- TDXWaveList

TDXWaveList::~TDXWaveList() { SetDXSound(nullptr); }

void TDXWaveList::SetDXSound(TDXSound* dxsound) {
  if (TDXSound* old = Items.DXSound()) old->UnRegisterNotifyEvent(notifyId_);
  notifyId_ = 0;
  Items.SetDXSound(dxsound);
  if (!dxsound) return;
  notifyId_ = dxsound->RegisterNotifyEvent([this](TDXSoundNotifyType type) {
    switch (type) {
      case TDXSoundNotifyType::Initialised:
      case TDXSoundNotifyType::Restored: Items.PrepareAll(); break;
      case TDXSoundNotifyType::Finalised: Items.UnprepareAll(); break;
      case TDXSoundNotifyType::Destroying: SetDXSound(nullptr); break;
    }
  });
}
