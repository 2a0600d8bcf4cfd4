' An independent automation client for the simulated chooser and focuser: Windows
' Script Host's VBScript creates both by ProgID, links, moves and reads back, and
' prints one "key=value" line per step for tests/e2e/sim_cscript.sh to compare.
Option Explicit
Dim chooser, id, focuser, target, dummy

' Waits until the focuser stops, polling every 50 ms for at most 5 s. Wine's script
' host has no WScript.Sleep, so the pause is a loop on Timer.
Sub WaitWhileMoving(f)
    Dim deadline, pause
    deadline = Timer + 5
    Do While f.IsMoving And Timer < deadline
        pause = Timer + 0.05
        Do While Timer < pause
        Loop
    Loop
End Sub

Set chooser = CreateObject("DriverHelper.Chooser")
chooser.DeviceType = "Focuser"
id = chooser.Choose("")
WScript.Echo "chosen=" & id

Set focuser = CreateObject(id)
focuser.Link = True
WScript.Echo "linked=" & focuser.Link
WScript.Echo "maxstep=" & focuser.MaxStep
WScript.Echo "absolute=" & focuser.Absolute
WScript.Echo "start=" & focuser.Position

target = 1234
focuser.Move target
WScript.Echo "moving=" & focuser.IsMoving
WaitWhileMoving focuser
WScript.Echo "position=" & focuser.Position

focuser.Move 99999
WaitWhileMoving focuser
WScript.Echo "clamped=" & focuser.Position

On Error Resume Next
focuser.Link = False
dummy = focuser.Position
WScript.Echo "unlinked=" & Hex(Err.Number) & " " & Err.Source & " " & Err.Description
Err.Clear
On Error GoTo 0
