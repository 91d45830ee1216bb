// Named sounds: the items with their voices and the play rule, the collection that finds
// them by name and reads the sound archive, and the sound list on the sound device.
#pragma once
#include <cstdint>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/NamedItems.h"
#include "engine/SoundVoice.h"
#include "engine/Wave.h"

class TDXSound;
class TWaveCollection;

// Raised by FindItem for an absent name: "Wave '%s' not found".
class EWaveCollectionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TWaveCollectionItem {
 public:
  explicit TWaveCollectionItem(TWaveCollection& owner) : owner_(owner) {}
  TWaveCollectionItem(const TWaveCollectionItem&) = delete;
  TWaveCollectionItem& operator=(const TWaveCollectionItem&) = delete;

  // stored properties besides Looped and MaxPlayingCount
  std::string Name;
  TWave Wave;

  bool Looped() const { return looped_; }
  // A new value stops every voice first.
  void SetLooped(bool looped);
  // Most extra voices; 0 is no limit.
  int MaxPlayingCount() const { return maxPlayingCount_; }
  // Negative becomes 0; a new value destroys the extra voices of a prepared item.
  void SetMaxPlayingCount(int count);

  // Playback rate in Hz (0: the wave's own), pan and volume in hundredths of a decibel.
  // The main voice takes a new value at once, an extra voice at its next play.
  int Frequency() const { return frequency_; }
  void SetFrequency(int hz);
  int Pan() const { return pan_; }
  void SetPan(int value);
  int Volume() const { return volume_; }
  void SetSoundVolume(int value);

  // Plays once on an extra voice, or repeating on the main voice when looped. Nothing is
  // heard unless prepared. With wait, returns when a once-played voice has ended.
  void PlaySound(bool wait = false);
  // Stops the main voice and every extra voice.
  void StopSound();

  bool Prepared() const { return prepared_; }
  TSoundVoice* MainVoice() const { return mainVoice_.get(); }
  // Extra voices, oldest first.
  const std::vector<std::unique_ptr<TSoundVoice>>& Voices() const { return voices_; }

  // Marks the item playable on the collection's device and makes the main voice from the
  // wave (none without samples); raises "Sound Buffer cannot be made" for a wave the mixer
  // does not play, leaving the item unprepared. Unprepare drops every voice.
  void Prepare();
  void Unprepare();

 private:
  bool MakeMainVoice();  // false when the wave has no samples
  void StopVoices();

  TWaveCollection& owner_;
  bool looped_ = false;
  int maxPlayingCount_ = 0;
  int frequency_ = 0, pan_ = 0, volume_ = 0;
  bool prepared_ = false;
  std::unique_ptr<TSoundVoice> mainVoice_;
  std::vector<std::unique_ptr<TSoundVoice>> voices_;
};

class TWaveCollection {
 public:
  TWaveCollection() = default;
  ~TWaveCollection();
  TWaveCollection(const TWaveCollection&) = delete;
  TWaveCollection& operator=(const TWaveCollection&) = delete;

  int Count() const { return items_.Count(); }
  TWaveCollectionItem& Items(int index) { return items_.Items(index); }
  const TWaveCollectionItem& Items(int index) const { return items_.Items(index); }
  // Appends an item; it is indexed under its name (set before the next FindItem).
  TWaveCollectionItem& Add() { return items_.Add(*this); }
  void Clear() { items_.Clear(); }

  // Replaces every item from a sound archive file; errors (EArchiveError): "Cannot open
  // file "%s". %s", "Invalid stream format", "Property %s does not exist", "Stream read
  // error", "Wave is invalid". Prepares the new items when the device is initialised.
  void LoadArchive(const std::string& fileName);
  // The same from the bytes of an archive.
  void LoadFromMemory(std::span<const uint8_t> data);

  // Case-insensitive; the item added last wins between equal names.
  TWaveCollectionItem& FindItem(const std::string& name);
  // nullptr instead of an error.
  TWaveCollectionItem* Find(const std::string& name) { return items_.Find(name); }

  // The device the items play on (the sound list sets it); plays and stops are recorded
  // through its platform.
  TDXSound* DXSound() const { return dxsound_; }
  void SetDXSound(TDXSound* dxsound);
  // The device is there and initialised.
  bool Initialized() const;
  // Prepares every item when initialised; UnprepareAll drops every voice.
  void PrepareAll();
  void UnprepareAll();

  // The bucket of a name in the 256-entry index.
  static int NameHash(const std::string& name) { return TNamedItems<TWaveCollectionItem>::NameHash(name); }

 private:
  TNamedItems<TWaveCollectionItem> items_;
  TDXSound* dxsound_ = nullptr;
};

// The sound list component: owns a collection and keeps it prepared on its device.
class TDXWaveList {
 public:
  TDXWaveList() = default;
  ~TDXWaveList();
  TDXWaveList(const TDXWaveList&) = delete;
  TDXWaveList& operator=(const TDXWaveList&) = delete;

  TWaveCollection Items;

  TDXSound* DXSound() const { return Items.DXSound(); }
  // Links to a device (nullptr unlinks): prepares on Initialised and Restored, drops the
  // voices on Finalised, detaches on Destroying.
  void SetDXSound(TDXSound* dxsound);

 private:
  int notifyId_ = 0;
};
