object MainForm: TMainForm
  Left = 316
  Top = 177
  Width = 538
  Height = 533
  Caption = 'Audio Sampling'
  Font.Charset = DEFAULT_CHARSET
  Font.Color = clWindowText
  Font.Height = -14
  Font.Name = 'MS Sans Serif'
  Font.Style = []
  Position = poScreenCenter
  PixelsPerInch = 120
  TextHeight = 16
  object WaveView1: TWaveView
    Left = 0
    Top = 0
    Width = 530
    Height = 185
    Align = alTop
    Source = Recorder1
  end
  object FingerprintView1: TFingerprintView
    Left = 0
    Top = 185
    Width = 530
    Height = 159
    Align = alClient
    Source = FFT1
  end
  object SpectralView1: TSpectralView
    Left = 0
    Top = 344
    Width = 530
    Height = 162
    Align = alBottom
    Source = FFT1
    Bands = 20
  end
  object Recorder1: TRecorder
    Left = 8
    Top = 8
    AutoStart = True
  end
  object FFT1: TFFT
    Left = 40
    Top = 8
    Source = Recorder1
  end
end
