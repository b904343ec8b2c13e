#include "support/child_process.h"

#include <cstdint>
#include <cwchar>
#include <vector>

#include "platform/command_line.h"
#include "platform/process.h"
#include "platform/text_encoding.h"
#include "support/exception.h"

namespace Utils {

Pipe::~Pipe() { Close(); }

void Pipe::Create() {
    Close();
    if (!Platform::CreatePipe(readEnd_, writeEnd_)) throw Exception();
}

void Pipe::CloseReadEnd() { Platform::CloseDescriptor(readEnd_); }

void Pipe::CloseWriteEnd() { Platform::CloseDescriptor(writeEnd_); }

void Pipe::Close() {
    CloseWriteEnd();
    CloseReadEnd();
}

ChildProcess::~ChildProcess() { Close(); }

void ChildProcess::CreatePipes() {
    outputPipe_.Create();
    inputPipe_.Create();
}

void ChildProcess::Start(const std::wstring& commandLine) {
    // A longer line does not fit the buffer; starting a cut command would run something
    // the runner never asked for.
    if (commandLine.size() >= kCommandLineCapacity) throw Exception();
    if (processId_ > 0) throw Exception();
    if (outputPipe_.WriteEnd() < 0 || inputPipe_.ReadEnd() < 0) throw Exception();
    std::wmemcpy(commandLine_.data(), commandLine.c_str(), commandLine.size() + 1);

    const std::vector<std::wstring> arguments = Platform::SplitCommandLine(commandLine_.data());
    int error = 0;
    const int child = Platform::SpawnProcess(arguments, inputPipe_.ReadEnd(), outputPipe_.WriteEnd(), &error);
    if (child <= 0) throw Exception();
    processId_ = child;
    ended_ = false;
    outputPipe_.CloseWriteEnd();
    inputPipe_.CloseReadEnd();
}

std::string ChildProcess::ReadChunk() {
    if (outputPipe_.ReadEnd() < 0) return {};
    std::string chunk(kChunkSize, '\0');
    const long count = Platform::ReadDescriptor(outputPipe_.ReadEnd(), chunk.data(), chunk.size());
    if (count <= 0) return {};
    chunk.resize(static_cast<std::size_t>(count));
    return chunk;
}

std::wstring ChildProcess::DecodeChunk(const std::string& chunk, unsigned codePage) {
    const std::size_t zero = chunk.find('\0');
    const std::string_view text(chunk.data(), zero == std::string::npos ? chunk.size() : zero);
    if (text.empty()) return {};
    return Platform::MultiByteToWide(codePage, text, Platform::InvalidInput::Replace).value_or(std::wstring());
}

void ChildProcess::Reap(bool block) {
    if (processId_ <= 0 || ended_) return;
    const Platform::ProcessEnd end =
        Platform::WaitForProcess(processId_, block ? Platform::WaitMode::Block : Platform::WaitMode::Poll);
    if (!end.ended) return;
    ended_ = true;
    exitCode_ = static_cast<std::uint32_t>(end.exitCode);  // -1 (unknown) reads as 0xFFFFFFFF
}

unsigned long ChildProcess::GetExitCode() {
    if (processId_ <= 0) return 0;
    Reap(false);
    return ended_ ? exitCode_ : kStillActive;
}

bool ChildProcess::IsRunning() {
    if (processId_ <= 0) return false;
    Reap(false);
    return !ended_;
}

void ChildProcess::Wait() { Reap(true); }

void ChildProcess::Close() {
    inputPipe_.Close();
    outputPipe_.Close();
    Reap(false);
}

}  // namespace Utils
